// Test helper: writes ReadConfigValue(argv[1]) (UTF-16, no terminator) into the file argv[2], so a test can
// run the reader from wherever it copies this program.
#include <windows.h>

#include "app/Config.h"

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3) return 2;
    CString value = ReadConfigValue(argv[1]);
    HANDLE f = ::CreateFileW(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return 1;
    DWORD written = 0;
    ::WriteFile(f, value.GetString(), static_cast<DWORD>(value.GetLength() * sizeof(wchar_t)), &written, nullptr);
    ::CloseHandle(f);
    return 0;
}
