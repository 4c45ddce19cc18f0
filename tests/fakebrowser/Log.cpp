#include "tests/fakebrowser/Log.h"

#include <windows.h>

#include "tests/fakebrowser/FakeBrowser.h"
#include "tests/fakebrowser/Page.h"

namespace fakebrowser {

void LogLine(const std::wstring& line)
{
    wchar_t path[MAX_PATH];
    DWORD n = ::GetEnvironmentVariableW(kFakeBrowserLogVariable, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return;
    // Opened per line and shared, so a test can read the file while the browser is still alive.
    HANDLE file = ::CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    std::string bytes = ToUtf8(line) + "\n";
    DWORD written = 0;
    ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(file);
}

}  // namespace fakebrowser
