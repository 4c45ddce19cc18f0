// winsock2.h must come before windows.h.
#include <winsock2.h>

#include "tests/fakebrowser/Page.h"


#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <cstdlib>
#include <cwctype>

namespace fakebrowser {

namespace {

constexpr size_t kMaxDocument = 8 * 1024 * 1024;  // a page is small; anything larger is refused
constexpr DWORD kHttpTimeoutMs = 5000;

bool StartsWithNoCase(const std::wstring& s, const wchar_t* prefix, size_t at = 0)
{
    size_t n = wcslen(prefix);
    return s.size() >= at + n && _wcsnicmp(s.c_str() + at, prefix, n) == 0;
}

size_t FindNoCase(const std::string& s, const char* needle, size_t from = 0)
{
    size_t n = strlen(needle);
    for (size_t i = from; i + n <= s.size(); ++i)
        if (_strnicmp(s.c_str() + i, needle, n) == 0) return i;
    return std::string::npos;
}

int HexDigit(wchar_t c)
{
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
}

// %XX sequences are bytes of UTF-8 text.
std::wstring PercentDecode(const std::wstring& s)
{
    std::string bytes;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == L'%' && i + 2 < s.size() && HexDigit(s[i + 1]) >= 0 && HexDigit(s[i + 2]) >= 0) {
            bytes += static_cast<char>(HexDigit(s[i + 1]) * 16 + HexDigit(s[i + 2]));
            i += 2;
        } else {
            bytes += ToUtf8(std::wstring(1, s[i]));
        }
    }
    return FromUtf8(bytes);
}

std::wstring WithoutFragmentOrQuery(const std::wstring& s)
{
    return s.substr(0, s.find_first_of(L"#?"));
}

bool ReadFileBytes(const std::wstring& path, std::string& body, std::wstring& why)
{
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        why = L"cannot open " + path;
        return false;
    }
    LARGE_INTEGER size{};
    bool ok = ::GetFileSizeEx(file, &size) && size.QuadPart <= static_cast<LONGLONG>(kMaxDocument);
    if (ok) {
        body.resize(static_cast<size_t>(size.QuadPart));
        DWORD read = 0;
        ok = body.empty() || (::ReadFile(file, &body[0], static_cast<DWORD>(body.size()), &read, nullptr) &&
                              read == body.size());
    }
    ::CloseHandle(file);
    if (!ok) why = L"cannot read " + path;
    return ok;
}

// file:///C:/dir/page.htm, file://C:\dir\page.htm, file://localhost/C:/... and plain paths.
bool FetchFile(const std::wstring& url, std::string& body, std::wstring& why)
{
    std::wstring path = url;
    if (StartsWithNoCase(path, L"file:")) {
        path = WithoutFragmentOrQuery(path.substr(5));
        if (StartsWithNoCase(path, L"//localhost/")) path = path.substr(11);
        else if (path.compare(0, 2, L"//") == 0) path = path.substr(2);
        if (path.size() >= 3 && (path[0] == L'/' || path[0] == L'\\') && path[2] == L':') path = path.substr(1);
        path = PercentDecode(path);
    }
    for (auto& c : path)
        if (c == L'/') c = L'\\';
    return ReadFileBytes(path, body, why);
}

LPCWSTR ResourceName(const std::wstring& part, std::wstring& storage)
{
    std::wstring digits = part[0] == L'#' ? part.substr(1) : part;
    if (!digits.empty() && digits.size() <= 5 && digits.find_first_not_of(L"0123456789") == std::wstring::npos) {
        unsigned long id = wcstoul(digits.c_str(), nullptr, 10);
        if (id > 0 && id <= 0xFFFF) return MAKEINTRESOURCEW(static_cast<WORD>(id));
    }
    storage = part;
    return storage.c_str();
}

// res://MODULE[/TYPE]/NAME: a resource of a module, of type 23 (HTML) unless a type is given; numbers may be
// written with or without '#'.
bool FetchResource(const std::wstring& url, std::string& body, std::wstring& why)
{
    std::wstring rest = WithoutFragmentOrQuery(url.substr(6));
    std::wstring lower = rest;
    for (auto& c : lower) c = static_cast<wchar_t>(towlower(c));
    size_t end = std::wstring::npos;
    for (const wchar_t* ext : {L".exe/", L".dll/"}) end = std::min(end, lower.find(ext));
    if (end == std::wstring::npos) {
        why = L"no module in " + url;
        return false;
    }
    std::wstring module = PercentDecode(rest.substr(0, end + 4));
    std::wstring parts = rest.substr(end + 5);
    std::wstring typePart = L"23", namePart = parts;
    if (size_t slash = parts.find(L'/'); slash != std::wstring::npos) {
        typePart = parts.substr(0, slash);
        namePart = parts.substr(slash + 1);
    }
    if (typePart.empty() || namePart.empty()) {
        why = L"no resource name in " + url;
        return false;
    }
    HMODULE hModule = ::LoadLibraryExW(module.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!hModule) {
        why = L"cannot load " + module;
        return false;
    }
    std::wstring typeStorage, nameStorage;
    HRSRC found = ::FindResourceW(hModule, ResourceName(namePart, nameStorage), ResourceName(typePart, typeStorage));
    HGLOBAL data = found ? ::LoadResource(hModule, found) : nullptr;
    const char* bytes = data ? static_cast<const char*>(::LockResource(data)) : nullptr;
    if (bytes) body.assign(bytes, ::SizeofResource(hModule, found));
    ::FreeLibrary(hModule);
    if (!bytes) why = L"no resource " + typePart + L"/" + namePart + L" in " + module;
    return bytes != nullptr;
}

std::string EncodeRequestPath(const std::wstring& path)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : ToUtf8(path)) {
        if (c <= 0x20 || c >= 0x7F) {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

// One GET over HTTP/1.0 on the loopback interface; the server closes the connection after the answer.
bool FetchHttp(const std::wstring& url, std::string& body, std::wstring& why, long& statusOut)
{
    std::wstring rest = url.substr(7);
    rest = rest.substr(0, rest.find(L'#'));
    size_t slash = rest.find(L'/');
    std::wstring authority = rest.substr(0, slash);
    std::wstring path = slash == std::wstring::npos ? L"/" : rest.substr(slash);
    std::wstring host = authority.substr(0, authority.find(L':'));
    unsigned long port = 80;
    if (size_t colon = authority.find(L':'); colon != std::wstring::npos) {
        wchar_t* end = nullptr;
        port = wcstoul(authority.c_str() + colon + 1, &end, 10);
        if (*end || port == 0 || port > 65535) {
            why = L"bad port in " + url;
            return false;
        }
    }
    if (host != L"127.0.0.1" && _wcsicmp(host.c_str(), L"localhost") != 0) {
        why = L"only loopback addresses are served: " + host;
        return false;
    }

    WSADATA wsa;
    if (::WSAStartup(MAKEWORD(2, 2), &wsa) != 0) {
        why = L"winsock unavailable";
        return false;
    }
    std::string response;
    bool connected = false;
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s != INVALID_SOCKET) {
        DWORD timeout = kHttpTimeoutMs;
        ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(static_cast<u_short>(port));
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected = ::connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
        if (connected) {
            std::string request = "GET " + EncodeRequestPath(path) + " HTTP/1.0\r\nHost: " + ToUtf8(authority) +
                                  "\r\nConnection: close\r\n\r\n";
            ::send(s, request.data(), static_cast<int>(request.size()), 0);
            char buffer[4096];
            int n;
            while ((n = ::recv(s, buffer, sizeof buffer, 0)) > 0 && response.size() <= kMaxDocument)
                response.append(buffer, static_cast<size_t>(n));
        }
        ::closesocket(s);
    }
    ::WSACleanup();
    if (!connected) {
        why = L"cannot connect to " + authority;
        return false;
    }
    // "HTTP/1.x NNN reason", headers, an empty line, the body.
    size_t space = response.find(' ');
    int status = space == std::string::npos ? 0 : atoi(response.c_str() + space + 1);
    size_t headersEnd = response.find("\r\n\r\n");
    if (response.compare(0, 5, "HTTP/") != 0 || headersEnd == std::string::npos) {
        why = L"no HTTP answer from " + authority;
        return false;
    }
    if (status < 200 || status > 299) {
        if (status > 0) statusOut = status;
        why = L"HTTP status " + std::to_wstring(status);
        return false;
    }
    body = response.substr(headersEnd + 4);
    return true;
}

}  // namespace

std::wstring FromUtf8(const std::string& text)
{
    if (text.empty()) return {};
    int n = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
    return out;
}

std::string ToUtf8(const std::wstring& text)
{
    if (text.empty()) return {};
    int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                  nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}

bool FetchDocument(const std::wstring& url, std::string& body, std::wstring& why, long& status)
{
    body.clear();
    status = static_cast<long>(0x800C0005L);  // INET_E_RESOURCE_NOT_FOUND
    if (_wcsicmp(url.c_str(), L"about:blank") == 0) return true;
    if (StartsWithNoCase(url, L"http://")) return FetchHttp(url, body, why, status);
    if (StartsWithNoCase(url, L"res://")) return FetchResource(url, body, why);
    bool plainPath = (url.size() >= 3 && url[1] == L':' && (url[2] == L'\\' || url[2] == L'/')) ||
                     url.compare(0, 2, L"\\\\") == 0;
    if (StartsWithNoCase(url, L"file:") || plainPath) return FetchFile(url, body, why);
    why = L"unsupported address";
    return false;
}

std::wstring ResolveUrl(const std::wstring& base, const std::wstring& ref)
{
    size_t colon = ref.find(L':');
    bool hasScheme = colon != std::wstring::npos && colon > 1 &&
                     ref.find_first_of(L"/\\?#") > colon;  // "C:\..." is a path, not a scheme
    if (hasScheme || ref.empty()) return ref;
    if (ref.size() >= 2 && ref[1] == L':') return ref;
    size_t schemeEnd = base.find(L"://");
    size_t pathStart = schemeEnd == std::wstring::npos ? 0 : base.find(L'/', schemeEnd + 3);
    if (ref.compare(0, 2, L"//") == 0) return schemeEnd == std::wstring::npos ? ref : base.substr(0, schemeEnd + 1) + ref;
    if (ref[0] == L'/' && schemeEnd != std::wstring::npos)
        return (pathStart == std::wstring::npos ? base : base.substr(0, pathStart)) + ref;
    std::wstring withoutQuery = base.substr(0, base.find_first_of(L"?#"));
    if (ref[0] == L'#' || ref[0] == L'?') return withoutQuery + ref;
    size_t lastSlash = withoutQuery.find_last_of(L"/\\");
    if (lastSlash == std::wstring::npos || (schemeEnd != std::wstring::npos && lastSlash < schemeEnd + 3))
        return withoutQuery + L"/" + ref;
    return withoutQuery.substr(0, lastSlash + 1) + ref;
}

std::vector<std::wstring> FindFrameSources(const std::string& html)
{
    std::vector<std::wstring> sources;
    for (size_t at = FindNoCase(html, "<iframe"); at != std::string::npos; at = FindNoCase(html, "<iframe", at + 1)) {
        size_t end = html.find('>', at);
        if (end == std::string::npos) break;
        std::string tag = html.substr(at, end - at);
        // The attribute name must stand alone: " src=" and not "data-src=".
        for (size_t src = FindNoCase(tag, "src"); src != std::string::npos; src = FindNoCase(tag, "src", src + 1)) {
            if (!isspace(static_cast<unsigned char>(tag[src - 1]))) continue;
            size_t i = src + 3;
            while (i < tag.size() && isspace(static_cast<unsigned char>(tag[i]))) ++i;
            if (i >= tag.size() || tag[i] != '=') continue;
            ++i;
            while (i < tag.size() && isspace(static_cast<unsigned char>(tag[i]))) ++i;
            std::string value;
            if (i < tag.size() && (tag[i] == '"' || tag[i] == '\'')) {
                size_t close = tag.find(tag[i], i + 1);
                value = tag.substr(i + 1, close == std::string::npos ? std::string::npos : close - i - 1);
            } else {
                size_t stop = i;
                while (stop < tag.size() && !isspace(static_cast<unsigned char>(tag[stop]))) ++stop;
                value = tag.substr(i, stop - i);
            }
            if (!value.empty()) sources.push_back(FromUtf8(value));
            break;
        }
    }
    return sources;
}

std::wstring FindTitle(const std::string& html)
{
    size_t open = FindNoCase(html, "<title");
    size_t start = open == std::string::npos ? open : html.find('>', open);
    size_t close = start == std::string::npos ? start : FindNoCase(html, "</title", start);
    if (close == std::string::npos) return {};
    return FromUtf8(html.substr(start + 1, close - start - 1));
}

namespace {

// A reader of the small script subset, over one <script> block.
class ScriptReader {
public:
    explicit ScriptReader(const std::string& text) : m_s(text) {}

    std::vector<ScriptStatement> Read()
    {
        std::vector<ScriptStatement> statements;
        while (m_i < m_s.size()) {
            char c = m_s[m_i];
            if (c == '"' || c == '\'') {
                std::wstring ignored;
                if (!ReadString(ignored)) ++m_i;
            } else if (m_s.compare(m_i, 2, "//") == 0) {
                m_i = std::min(m_s.find('\n', m_i), m_s.size());
            } else if (m_s.compare(m_i, 2, "/*") == 0) {
                size_t end = m_s.find("*/", m_i + 2);
                m_i = end == std::string::npos ? m_s.size() : end + 2;
            } else if (IsIdentStart(c)) {
                size_t start = m_i;
                std::string path = ReadPath();
                ReadStatement(path, start, statements);
            } else {
                ++m_i;
            }
        }
        return statements;
    }

private:
    static bool IsIdentStart(char c) { return isalpha(static_cast<unsigned char>(c)) || c == '_' || c == '$'; }
    static bool IsIdentChar(char c) { return IsIdentStart(c) || isdigit(static_cast<unsigned char>(c)); }

    void SkipSpace()
    {
        while (m_i < m_s.size() && isspace(static_cast<unsigned char>(m_s[m_i]))) ++m_i;
    }

    // A dotted name such as window.external.outLink.
    std::string ReadPath()
    {
        std::string path;
        for (;;) {
            while (m_i < m_s.size() && IsIdentChar(m_s[m_i])) path += m_s[m_i++];
            if (m_i + 1 < m_s.size() && m_s[m_i] == '.' && IsIdentStart(m_s[m_i + 1])) path += m_s[m_i++];
            else return path;
        }
    }

    void ReadStatement(const std::string& path, size_t start, std::vector<ScriptStatement>& out)
    {
        static const char kExternal[] = "window.external.";
        bool isCall = path.compare(0, sizeof kExternal - 1, kExternal) == 0 &&
                      path.find('.', sizeof kExternal - 1) == std::string::npos;
        bool isLocation = path == "location.href" || path == "window.location.href" ||
                          path == "document.location.href" || path == "location" || path == "window.location";
        if (!isCall && !isLocation) return;
        ScriptStatement st;
        size_t resume = m_i;
        bool ok = isCall ? ReadCall(path.substr(sizeof kExternal - 1), st) : ReadAssignment(st);
        if (!ok && isLocation && st.kind == ScriptStatement::Unsupported && st.name.empty()) {
            m_i = resume;  // a read of location, not an assignment: nothing to run
            return;
        }
        if (!ok) {
            size_t end = m_s.find_first_of(";\n", start);
            st = ScriptStatement{};
            st.name = FromUtf8(m_s.substr(start, end == std::string::npos ? std::string::npos : end - start));
            m_i = end == std::string::npos ? m_s.size() : end;
        }
        out.push_back(std::move(st));
    }

    bool ReadCall(const std::string& name, ScriptStatement& st)
    {
        SkipSpace();
        if (m_i >= m_s.size() || m_s[m_i] != '(') return false;
        ++m_i;
        st.kind = ScriptStatement::ExternalCall;
        st.name = FromUtf8(name);
        SkipSpace();
        if (m_i < m_s.size() && m_s[m_i] == ')') {
            ++m_i;
            return true;
        }
        for (;;) {
            ScriptValue value;
            if (!ReadLiteral(value)) return false;
            st.args.push_back(std::move(value));
            SkipSpace();
            if (m_i >= m_s.size()) return false;
            char c = m_s[m_i++];
            if (c == ')') return true;
            if (c != ',') return false;
        }
    }

    // `= "address"`; anything else after the name (==, a read) leaves `st.name` empty.
    bool ReadAssignment(ScriptStatement& st)
    {
        SkipSpace();
        if (m_i >= m_s.size() || m_s[m_i] != '=' || (m_i + 1 < m_s.size() && m_s[m_i + 1] == '=')) return false;
        ++m_i;
        SkipSpace();
        st.name = L"?";
        std::wstring url;
        if (!ReadString(url)) return false;
        st.kind = ScriptStatement::SetLocation;
        st.name = url;
        return true;
    }

    bool ReadLiteral(ScriptValue& v)
    {
        SkipSpace();
        if (m_i >= m_s.size()) return false;
        char c = m_s[m_i];
        if (c == '"' || c == '\'') {
            v.kind = ScriptValue::String;
            return ReadString(v.text);
        }
        if (IsIdentStart(c)) {
            std::string word;
            while (m_i < m_s.size() && IsIdentChar(m_s[m_i])) word += m_s[m_i++];
            if (word == "null") v.kind = ScriptValue::Null;
            else if (word == "undefined") v.kind = ScriptValue::Undefined;
            else if (word == "true" || word == "false") {
                v.kind = ScriptValue::Bool;
                v.boolValue = word == "true";
            } else return false;
            return true;
        }
        return ReadNumber(v);
    }

    // Script numbers are doubles; the engine hands integral ones that fit in 32 bits over as VT_I4.
    bool ReadNumber(ScriptValue& v)
    {
        size_t start = m_i;
        if (m_s[m_i] == '-' || m_s[m_i] == '+') ++m_i;
        while (m_i < m_s.size() && (isalnum(static_cast<unsigned char>(m_s[m_i])) || m_s[m_i] == '.' ||
                                    ((m_s[m_i] == '-' || m_s[m_i] == '+') && (m_s[m_i - 1] | 0x20) == 'e')))
            ++m_i;
        std::string text = m_s.substr(start, m_i - start);
        if (text.empty()) return false;
        char* end = nullptr;
        double d = strtod(text.c_str(), &end);
        if (*end || !std::isfinite(d)) return false;
        if (d == std::floor(d) && d >= -2147483648.0 && d <= 2147483647.0 && !(d == 0 && std::signbit(d))) {
            v.kind = ScriptValue::Int;
            v.intValue = static_cast<long>(d);
        } else {
            v.kind = ScriptValue::Double;
        }
        v.doubleValue = d;
        return true;
    }

    bool ReadString(std::wstring& out)
    {
        char quote = m_s[m_i];
        size_t i = m_i + 1;
        std::string run;  // UTF-8 bytes since the last escape
        out.clear();
        auto flush = [&] { out += FromUtf8(run); run.clear(); };
        while (i < m_s.size() && m_s[i] != quote) {
            char c = m_s[i++];
            if (c == '\n') return false;
            if (c != '\\') {
                run += c;
                continue;
            }
            if (i >= m_s.size()) return false;
            char e = m_s[i++];
            flush();
            switch (e) {
            case 'n': out += L'\n'; break;
            case 't': out += L'\t'; break;
            case 'r': out += L'\r'; break;
            case 'b': out += L'\b'; break;
            case 'f': out += L'\f'; break;
            case 'v': out += L'\v'; break;
            case '0': out += L'\0'; break;
            case '\n': break;  // a line continuation
            case 'x':
            case 'u': {
                size_t digits = e == 'x' ? 2 : 4;
                unsigned code = 0;
                for (size_t k = 0; k < digits; ++k) {
                    int h = i < m_s.size() ? HexDigit(static_cast<wchar_t>(m_s[i])) : -1;
                    if (h < 0) return false;
                    code = code * 16 + static_cast<unsigned>(h);
                    ++i;
                }
                out += static_cast<wchar_t>(code);
                break;
            }
            default: run += e; break;
            }
        }
        if (i >= m_s.size()) return false;
        flush();
        m_i = i + 1;
        return true;
    }

    const std::string& m_s;
    size_t m_i = 0;
};

}  // namespace

std::vector<std::vector<ScriptStatement>> ParseScripts(const std::string& html)
{
    std::vector<std::vector<ScriptStatement>> blocks;
    for (size_t at = FindNoCase(html, "<script"); at != std::string::npos;) {
        size_t open = html.find('>', at);
        if (open == std::string::npos) break;
        size_t close = FindNoCase(html, "</script", open);
        std::string text = html.substr(open + 1, close == std::string::npos ? std::string::npos : close - open - 1);
        blocks.push_back(ScriptReader(text).Read());
        if (close == std::string::npos) break;
        at = FindNoCase(html, "<script", close);
    }
    return blocks;
}

}  // namespace fakebrowser
