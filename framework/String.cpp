#include "framework/String.h"

#include <cstdarg>
#include <cwchar>

wchar_t* CString::GetBuffer(int minLength)
{
    if (minLength < 0) minLength = 0;
    if (static_cast<size_t>(minLength) > m_text.size()) m_text.resize(static_cast<size_t>(minLength));
    return &m_text[0];
}

void CString::ReleaseBuffer(int newLength)
{
    if (newLength < 0) newLength = static_cast<int>(wcsnlen(m_text.c_str(), m_text.size()));
    if (static_cast<size_t>(newLength) < m_text.size()) m_text.resize(static_cast<size_t>(newLength));
}

void CString::Format(const wchar_t* format, ...)
{
    // msvcrt's own formatter: %s is a wide string here, as every caller of this class expects.
    va_list args;
    va_start(args, format);
    va_list count;
    va_copy(count, args);
    int length = _vscwprintf(format, count);
    va_end(count);
    if (length < 0) {
        m_text.clear();
    } else {
        std::wstring out(static_cast<size_t>(length) + 1, L'\0');
        _vsnwprintf(&out[0], out.size(), format, args);
        out.resize(static_cast<size_t>(length));
        m_text.swap(out);
    }
    va_end(args);
}

int CString::Find(const wchar_t* sub, int start) const
{
    if (!sub || start < 0 || static_cast<size_t>(start) > m_text.size()) return -1;
    size_t at = m_text.find(sub, static_cast<size_t>(start));
    return at == std::wstring::npos ? -1 : static_cast<int>(at);
}

int CString::Find(wchar_t ch, int start) const
{
    if (start < 0 || static_cast<size_t>(start) > m_text.size()) return -1;
    size_t at = m_text.find(ch, static_cast<size_t>(start));
    return at == std::wstring::npos ? -1 : static_cast<int>(at);
}

int CString::Compare(const wchar_t* other) const
{
    return m_text.compare(other ? other : L"");
}

CString CString::Left(int count) const
{
    if (count <= 0) return CString();
    return CString(m_text.substr(0, static_cast<size_t>(count)));
}

CString CString::Mid(int first, int count) const
{
    if (first < 0) first = 0;
    if (static_cast<size_t>(first) >= m_text.size()) return CString();
    size_t n = count < 0 ? std::wstring::npos : static_cast<size_t>(count);
    return CString(m_text.substr(static_cast<size_t>(first), n));
}
