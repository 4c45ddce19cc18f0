#include "app/Config.h"

#include <windows.h>

#include <vector>

CString GetModuleDirectory()
{
    // Grow the buffer until the whole path fits: an executable deeper than MAX_PATH must still find its
    // config.ini rather than read one beside a truncated path.
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return CString();
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        if (path.size() >= 32768) return CString();
        path.resize(path.size() * 2);
    }
    // Drive and directory: everything up to and including the last separator.
    size_t end = path.size();
    while (end > 0 && path[end - 1] != L'\\' && path[end - 1] != L'/') --end;
    return CString(path.data(), static_cast<int>(end));
}

namespace {

// The profile functions take MAX_PATH-limited names on some systems: give a long path in its short form
// when there is one, else in the extended-length form.
std::wstring UsablePath(const std::wstring& path)
{
    if (path.size() < MAX_PATH) return path;
    std::wstring extended = path.compare(0, 4, L"\\\\?\\") == 0 ? path : L"\\\\?\\" + path;
    DWORD n = ::GetShortPathNameW(extended.c_str(), nullptr, 0);
    if (n > 0) {
        std::wstring shortPath(n, L'\0');
        DWORD got = ::GetShortPathNameW(extended.c_str(), &shortPath[0], n);
        if (got > 0 && got < n) {
            shortPath.resize(got);
            if (shortPath.compare(0, 4, L"\\\\?\\") == 0 && shortPath.size() - 4 < MAX_PATH) shortPath.erase(0, 4);
            return shortPath;
        }
    }
    return extended;
}

}  // namespace

CString ReadConfigValue(CString key)
{
    CString directory = GetModuleDirectory();
    if (directory.IsEmpty()) return CString(L"error");  // never fall back to the working directory
    std::wstring file = directory.str() + L"config.ini";
    wchar_t value[512];
    ::GetPrivateProfileStringW(L"pexo", key, L"error", value, 512, UsablePath(file).c_str());
    value[511] = L'\0';
    return CString(value);
}
