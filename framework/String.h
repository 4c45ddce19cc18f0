// CString: the wide text type the application speaks in. A thin value type over std::wstring with the
// handful of operations the windows and the configuration reader use.
#pragma once

#include <windows.h>

#include <string>

class CString {
public:
    CString() = default;
    CString(const wchar_t* text) : m_text(text ? text : L"") {}
    CString(const wchar_t* text, int length) : m_text(text ? std::wstring(text, static_cast<size_t>(length < 0 ? 0 : length)) : std::wstring()) {}
    CString(const std::wstring& text) : m_text(text) {}

    int GetLength() const { return static_cast<int>(m_text.size()); }
    bool IsEmpty() const { return m_text.empty(); }
    void Empty() { m_text.clear(); }
    const wchar_t* GetString() const { return m_text.c_str(); }
    operator const wchar_t*() const { return m_text.c_str(); }
    const std::wstring& str() const { return m_text; }

    // Writable buffer of at least minLength characters (plus terminator); ReleaseBuffer(-1) takes the text up
    // to the first null character.
    wchar_t* GetBuffer(int minLength);
    void ReleaseBuffer(int newLength = -1);

    // printf-style formatting with the Windows meaning of the conversions: %s takes a wide string.
    void Format(const wchar_t* format, ...);

    // Position of the first occurrence at or after start, or -1. Case-sensitive.
    int Find(const wchar_t* sub, int start = 0) const;
    int Find(wchar_t ch, int start = 0) const;
    int Compare(const wchar_t* other) const;

    CString Left(int count) const;
    CString Mid(int first, int count = -1) const;

    CString& operator=(const wchar_t* text) { m_text = text ? text : L""; return *this; }
    CString& operator+=(const CString& other) { m_text += other.m_text; return *this; }
    CString& operator+=(const wchar_t* text) { if (text) m_text += text; return *this; }
    CString& operator+=(wchar_t ch) { m_text += ch; return *this; }

    friend CString operator+(const CString& a, const CString& b) { return CString(a.m_text + b.m_text); }
    friend CString operator+(const CString& a, const wchar_t* b) { CString r(a); r += b; return r; }
    friend CString operator+(const wchar_t* a, const CString& b) { CString r(a); r += b; return r; }
    friend bool operator==(const CString& a, const CString& b) { return a.m_text == b.m_text; }
    friend bool operator==(const CString& a, const wchar_t* b) { return a.m_text == (b ? b : L""); }
    friend bool operator==(const wchar_t* a, const CString& b) { return b == a; }
    friend bool operator!=(const CString& a, const CString& b) { return !(a == b); }
    friend bool operator!=(const CString& a, const wchar_t* b) { return !(a == b); }

private:
    std::wstring m_text;
};
