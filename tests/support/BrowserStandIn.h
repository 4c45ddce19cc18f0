// The stand-in browser registered in this process for the life of one test, with its log, and (from
// LoopbackServer.h) a loopback HTTP server that serves the pages it fetches.
#pragma once

#include <winsock2.h>
#include <windows.h>
#include <exdisp.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "tests/fakebrowser/FakeBrowser.h"
#include "tests/support/LoopbackServer.h"

inline std::string Utf8(const std::wstring& s)
{
    if (s.empty()) return {};
    int n = ::WideCharToMultiByte(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), &out[0], n, nullptr, nullptr);
    return out;
}

// Registers the stand-in for CLSID_WebBrowser (Wine asks classes registered in the process before the
// registry) and points its log at a file of this process. Everything is undone on destruction.
class BrowserStandIn {
public:
    BrowserStandIn()
    {
        ::OleInitialize(nullptr);
        wchar_t dir[MAX_PATH];
        ::GetTempPathW(MAX_PATH, dir);
        m_log = std::wstring(dir) + L"velmora-standin-" + std::to_wstring(::GetCurrentProcessId()) + L".log";
        ::DeleteFileW(m_log.c_str());
        ::SetEnvironmentVariableW(kFakeBrowserLogVariable, m_log.c_str());
        m_registered = SUCCEEDED(::CoRegisterClassObject(CLSID_WebBrowser, FakeBrowserClassFactory(),
                                                         CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &m_cookie));
    }
    ~BrowserStandIn()
    {
        if (m_registered) ::CoRevokeClassObject(m_cookie);
        ::SetEnvironmentVariableW(kFakeBrowserLogVariable, nullptr);
        ::DeleteFileW(m_log.c_str());
        ::OleUninitialize();
    }
    BrowserStandIn(const BrowserStandIn&) = delete;
    BrowserStandIn& operator=(const BrowserStandIn&) = delete;

    bool Registered() const { return m_registered; }

    std::vector<std::string> Log() const
    {
        std::ifstream in(Utf8(m_log));
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }
    bool Logged(const std::string& line) const
    {
        auto lines = Log();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
    size_t Count(const std::string& line) const
    {
        auto lines = Log();
        return static_cast<size_t>(std::count(lines.begin(), lines.end(), line));
    }
    // The address of the last "navigate" line the host caused, or empty.
    std::string LastNavigation() const
    {
        auto lines = Log();
        for (auto it = lines.rbegin(); it != lines.rend(); ++it)
            if (it->rfind("navigate ", 0) == 0) return it->substr(9);
        return {};
    }

private:
    std::wstring m_log;
    DWORD m_cookie = 0;
    bool m_registered = false;
};
