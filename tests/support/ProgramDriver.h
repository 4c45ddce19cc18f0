// Drives the real program from outside its process, as a player would: starts a copy of it in a folder of
// its own (with the config.ini a test writes there), finds its windows, answers its prompts, and reads what
// it asked the shell to open.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace driver {

inline std::wstring ExeDirectory()
{
    wchar_t path[MAX_PATH];
    DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring p(path, n);
    return p.substr(0, p.find_last_of(L'\\') + 1);
}

inline void WriteFileBytes(const std::wstring& path, const std::string& bytes)
{
    HANDLE f = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    ::WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(f);
}

inline std::string ReadFileBytes(const std::wstring& path)
{
    std::string bytes;
    HANDLE f = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return bytes;
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(f, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
    ::CloseHandle(f);
    return bytes;
}

// Waits for `done`, letting this thread's own messages through; false on time-out.
inline bool WaitFor(const std::function<bool()>& done, DWORD timeoutMs = 10000)
{
    DWORD start = ::GetTickCount();
    while (!done()) {
        if (::GetTickCount() - start > timeoutMs) return false;
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
        ::Sleep(20);
    }
    return true;
}

struct WindowInfo {
    HWND hwnd;
    std::wstring title;
    std::wstring className;
    RECT rect;
    bool visible;
    HWND owner;
};

// Top-level windows of a process.
inline std::vector<WindowInfo> TopLevelWindows(DWORD processId)
{
    struct Ctx { DWORD pid; std::vector<WindowInfo> out; } ctx{processId, {}};
    ::EnumWindows(
        [](HWND hwnd, LPARAM lp) -> BOOL {
            auto* c = reinterpret_cast<Ctx*>(lp);
            DWORD pid = 0;
            ::GetWindowThreadProcessId(hwnd, &pid);
            if (pid != c->pid) return TRUE;
            WindowInfo w{hwnd, {}, {}, {}, ::IsWindowVisible(hwnd) != FALSE, ::GetWindow(hwnd, GW_OWNER)};
            wchar_t text[512];
            int n = ::GetWindowTextW(hwnd, text, 512);
            w.title.assign(text, n > 0 ? n : 0);
            n = ::GetClassNameW(hwnd, text, 512);
            w.className.assign(text, n > 0 ? n : 0);
            ::GetWindowRect(hwnd, &w.rect);
            c->out.push_back(w);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&ctx));
    return ctx.out;
}

// One running copy of the program in a folder of its own.
class Program {
public:
    // `exe` is the program to copy; `configIni` (empty: none) is written beside the copy.
    Program(const std::wstring& exe, const std::string& configIni, const std::wstring& folderName)
    {
        wchar_t temp[MAX_PATH];
        ::GetTempPathW(MAX_PATH, temp);
        m_folder = std::wstring(temp) + folderName + L"\\";
        ::CreateDirectoryW(m_folder.c_str(), nullptr);
        m_exe = m_folder + L"Velmora.exe";
        ::CopyFileW(exe.c_str(), m_exe.c_str(), FALSE);
        if (!configIni.empty()) WriteFileBytes(m_folder + L"config.ini", configIni);
        else ::DeleteFileW((m_folder + L"config.ini").c_str());
    }
    ~Program()
    {
        Kill();
        ::DeleteFileW(m_exe.c_str());
        ::DeleteFileW((m_folder + L"config.ini").c_str());
        ::RemoveDirectoryW(m_folder.c_str());
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    bool Start()
    {
        STARTUPINFOW si{};
        si.cb = sizeof si;
        std::wstring command = L"\"" + m_exe + L"\"";
        if (!::CreateProcessW(m_exe.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, m_folder.c_str(), &si, &m_pi))
            return false;
        ::WaitForInputIdle(m_pi.hProcess, 10000);
        return true;
    }

    DWORD Id() const { return m_pi.dwProcessId; }
    std::vector<WindowInfo> Windows() const { return TopLevelWindows(m_pi.dwProcessId); }

    // The first visible top-level window whose title or class matches, waiting for it to come up.
    HWND WaitForWindow(const std::function<bool(const WindowInfo&)>& match, DWORD timeoutMs = 15000) const
    {
        HWND found = nullptr;
        WaitFor([&] {
            for (const WindowInfo& w : Windows())
                if (w.visible && match(w)) { found = w.hwnd; return true; }
            return false;
        }, timeoutMs);
        return found;
    }

    // The exit code once the process has ended, or STILL_ACTIVE on time-out.
    DWORD WaitForExit(DWORD timeoutMs = 15000) const
    {
        if (!m_pi.hProcess) return STILL_ACTIVE;
        ::WaitForSingleObject(m_pi.hProcess, timeoutMs);
        DWORD code = STILL_ACTIVE;
        ::GetExitCodeProcess(m_pi.hProcess, &code);
        return code;
    }

    void Kill()
    {
        if (!m_pi.hProcess) return;
        DWORD code = 0;
        if (::GetExitCodeProcess(m_pi.hProcess, &code) && code == STILL_ACTIVE) {
            ::TerminateProcess(m_pi.hProcess, 99);
            ::WaitForSingleObject(m_pi.hProcess, 5000);
        }
        ::CloseHandle(m_pi.hThread);
        ::CloseHandle(m_pi.hProcess);
        m_pi = {};
    }

    const std::wstring& Folder() const { return m_folder; }

private:
    std::wstring m_folder;
    std::wstring m_exe;
    PROCESS_INFORMATION m_pi{};
};

// A Yes/No prompt of the program ("#32770" with the given caption): its text, and an answer.
inline std::wstring DialogText(HWND box)
{
    std::wstring text;
    for (HWND child = ::GetWindow(box, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        wchar_t cls[64];
        ::GetClassNameW(child, cls, 64);
        if (lstrcmpiW(cls, L"Static") != 0) continue;
        wchar_t buffer[512];
        int n = ::GetWindowTextW(child, buffer, 512);
        if (n > 0) text.assign(buffer, n);
    }
    return text;
}

inline void Answer(HWND box, int id) { ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }

}  // namespace driver
