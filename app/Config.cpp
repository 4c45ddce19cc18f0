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

namespace config_detail {

std::wstring UsablePath(const std::wstring& path)
{
    if (path.size() < MAX_PATH) return path;
    // The extended form of a network path is \\?\UNC\server\share\..., not \\?\ before its two backslashes.
    const bool extendedAlready = path.compare(0, 4, L"\\\\?\\") == 0;
    const bool network = !extendedAlready && path.compare(0, 2, L"\\\\") == 0;
    std::wstring extended = extendedAlready ? path : network ? L"\\\\?\\UNC\\" + path.substr(2) : L"\\\\?\\" + path;
    DWORD n = ::GetShortPathNameW(extended.c_str(), nullptr, 0);
    if (n > 0) {
        std::wstring shortPath(n, L'\0');
        DWORD got = ::GetShortPathNameW(extended.c_str(), &shortPath[0], n);
        if (got > 0 && got < n) {
            shortPath.resize(got);
            // Back to the plain form when the short one fits without the prefix.
            if (shortPath.compare(0, 8, L"\\\\?\\UNC\\") == 0 && shortPath.size() - 6 < MAX_PATH)
                shortPath.replace(0, 8, L"\\\\");
            else if (shortPath.compare(0, 4, L"\\\\?\\") == 0 && shortPath.compare(0, 8, L"\\\\?\\UNC\\") != 0 &&
                     shortPath.size() - 4 < MAX_PATH)
                shortPath.erase(0, 4);
            return shortPath;
        }
    }
    return extended;
}

}  // namespace config_detail

CString ReadConfigValue(CString key)
{
    CString directory = GetModuleDirectory();
    if (directory.IsEmpty()) return CString(L"error");  // never fall back to the working directory
    std::wstring file = directory.str() + L"config.ini";
    wchar_t value[512];
    ::GetPrivateProfileStringW(L"pexo", key, L"error", value, 512, config_detail::UsablePath(file).c_str());
    value[511] = L'\0';
    return CString(value);
}
