// The stand-in browser registered in this process for the life of one test, with its log, and a loopback
// HTTP server that serves the pages it fetches.
#pragma once

#include <winsock2.h>
#include <windows.h>
#include <exdisp.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "tests/fakebrowser/FakeBrowser.h"

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

// An HTTP/1.0 server on 127.0.0.1 that answers from a table of paths (UTF-8 bodies), on its own thread. In a
// body, $ORIGIN stands for the server's own "http://127.0.0.1:PORT", which is known only once it listens.
class LoopbackServer {
public:
    using Pages = std::map<std::string, std::string>;

    explicit LoopbackServer(Pages pages) : m_pages(std::move(pages))
    {
        WSADATA wsa;
        ::WSAStartup(MAKEWORD(2, 2), &wsa);
        m_listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        int len = sizeof addr;
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&addr), &len);
        m_port = ntohs(addr.sin_port);
        ::listen(m_listener, 8);
        m_thread = std::thread([this] { Serve(); });
    }
    ~LoopbackServer()
    {
        ::closesocket(m_listener);  // ends the blocking accept
        m_thread.join();
        ::WSACleanup();
    }
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    std::wstring Url(const std::wstring& path) const { return L"http://127.0.0.1:" + std::to_wstring(m_port) + path; }

private:
    std::string WithOrigin(std::string body) const
    {
        const std::string origin = "http://127.0.0.1:" + std::to_string(m_port);
        for (size_t at = body.find("$ORIGIN"); at != std::string::npos; at = body.find("$ORIGIN", at + origin.size()))
            body.replace(at, 7, origin);
        return body;
    }

    void Serve()
    {
        for (;;) {
            SOCKET s = ::accept(m_listener, nullptr, nullptr);
            if (s == INVALID_SOCKET) return;
            std::string request;
            char buffer[1024];
            int n;
            while (request.find("\r\n\r\n") == std::string::npos && (n = ::recv(s, buffer, sizeof buffer, 0)) > 0)
                request.append(buffer, static_cast<size_t>(n));
            std::string path = request.size() > 4 ? request.substr(4, request.find(' ', 4) - 4) : std::string();
            auto page = m_pages.find(path);
            std::string answer = page == m_pages.end()
                                     ? "HTTP/1.0 404 Not Found\r\n\r\nnot here"
                                     : "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n" + WithOrigin(page->second);
            ::send(s, answer.data(), static_cast<int>(answer.size()), 0);
            ::closesocket(s);
        }
    }

    Pages m_pages;
    SOCKET m_listener;
    int m_port = 0;
    std::thread m_thread;
};
