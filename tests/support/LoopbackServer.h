// An HTTP/1.0 server on 127.0.0.1, on its own thread, for as long as a test runs. It answers GET requests
// from a table of paths or from a function of the path, notes every request line and counts the requests
// per path. In a body, $ORIGIN stands for the server's own "http://127.0.0.1:PORT", which is known only once
// it listens.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

class LoopbackServer {
public:
    using Pages = std::map<std::string, std::string>;
    // The body for a path (UTF-8), given how many times the path has been asked for, this request included;
    // nothing for "404 Not Found".
    using Responder = std::function<std::optional<std::string>(const std::string& path, int timesRequested)>;

    explicit LoopbackServer(Pages pages)
        : LoopbackServer(Responder([pages = std::move(pages)](const std::string& path, int) -> std::optional<std::string> {
              auto page = pages.find(path);
              if (page == pages.end()) return std::nullopt;
              return page->second;
          }))
    {
    }
    explicit LoopbackServer(Responder answer) : m_answer(std::move(answer))
    {
        WSADATA wsa;
        ::WSAStartup(MAKEWORD(2, 2), &wsa);
        m_listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
        int length = sizeof address;
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
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

    std::string Origin() const { return "http://127.0.0.1:" + std::to_string(m_port); }
    std::string Url(const std::string& path) const { return Origin() + path; }
    std::wstring Url(const std::wstring& path) const { return L"http://127.0.0.1:" + std::to_wstring(m_port) + path; }

    // The first line of every request so far, e.g. "GET /a?b=1 HTTP/1.1".
    std::vector<std::string> RequestLines() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_requestLines;
    }
    bool Requested(const std::string& requestLine) const
    {
        auto lines = RequestLines();
        return std::find(lines.begin(), lines.end(), requestLine) != lines.end();
    }
    // How many GET requests asked for this path (with its query, if any).
    int Requests(const std::string& path) const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto count = m_requestCounts.find(path);
        return count == m_requestCounts.end() ? 0 : count->second;
    }

private:
    void Serve()
    {
        for (;;) {
            SOCKET client = ::accept(m_listener, nullptr, nullptr);
            if (client == INVALID_SOCKET) return;
            std::string request;
            char buffer[1024];
            int n;
            while (request.find("\r\n\r\n") == std::string::npos &&
                   (n = ::recv(client, buffer, sizeof buffer, 0)) > 0)
                request.append(buffer, static_cast<size_t>(n));
            std::string answer = Answer(request);
            ::send(client, answer.data(), static_cast<int>(answer.size()), 0);
            ::closesocket(client);
        }
    }

    std::string Answer(const std::string& request)
    {
        int times = 0;
        std::string path;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_requestLines.push_back(request.substr(0, request.find("\r\n")));
            if (request.compare(0, 4, "GET ") != 0) return "HTTP/1.0 400 Bad Request\r\n\r\n";
            path = request.substr(4, request.find(' ', 4) - 4);
            times = ++m_requestCounts[path];
        }
        // Called without the lock, so that a responder may ask the server about its requests.
        std::optional<std::string> body = m_answer(path, times);
        if (!body) return "HTTP/1.0 404 Not Found\r\n\r\nnot here";
        return "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n" + WithOrigin(*body);
    }

    std::string WithOrigin(std::string body) const
    {
        const std::string origin = Origin();
        for (size_t at = body.find("$ORIGIN"); at != std::string::npos; at = body.find("$ORIGIN", at + origin.size()))
            body.replace(at, 7, origin);
        return body;
    }

    Responder m_answer;
    SOCKET m_listener;
    int m_port = 0;
    std::thread m_thread;
    mutable std::mutex m_mutex;
    std::vector<std::string> m_requestLines;
    std::map<std::string, int> m_requestCounts;
};
