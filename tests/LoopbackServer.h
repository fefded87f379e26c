// A tiny HTTP server on the loopback address for the update check's tests,
// in-process and end to end.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>

#include <atomic>
#include <string>
#include <thread>
#include <utility>

namespace test {

// A tiny HTTP server on 127.0.0.1 that answers every connection the same way,
// or keeps it open without a word.
class LoopbackServer {
public:
    explicit LoopbackServer(std::string response, bool silent = false)
        : m_response(std::move(response)), m_silent(silent) {
        WSADATA wsa;
        WSAStartup(MAKEWORD(2, 2), &wsa);
        m_listen = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(m_listen, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        int len = sizeof addr;
        getsockname(m_listen, reinterpret_cast<sockaddr*>(&addr), &len);
        m_port = ntohs(addr.sin_port);
        listen(m_listen, 4);
        m_thread = std::thread([this] { Serve(); });
    }
    ~LoopbackServer() {
        m_stop = true;
        closesocket(m_listen);
        m_thread.join();
        WSACleanup();
    }
    std::wstring Url() const { return L"http://127.0.0.1:" + std::to_wstring(m_port) + L"/updates.txt"; }

private:
    void Serve() {
        while (!m_stop) {
            SOCKET s = accept(m_listen, nullptr, nullptr);
            if (s == INVALID_SOCKET) return;
            std::string request;
            char buffer[1024];
            while (request.find("\r\n\r\n") == std::string::npos) {
                const int got = recv(s, buffer, sizeof buffer, 0);
                if (got <= 0) break;
                request.append(buffer, got);
            }
            if (m_silent) {
                while (!m_stop) Sleep(20);
            } else {
                send(s, m_response.data(), static_cast<int>(m_response.size()), 0);
            }
            shutdown(s, SD_BOTH);
            closesocket(s);
        }
    }

    std::string m_response;
    bool m_silent;
    SOCKET m_listen = INVALID_SOCKET;
    unsigned short m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

inline std::string HttpResponse(const std::string& status, const std::string& body) {
    return "HTTP/1.1 " + status +
           "\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

}  // namespace test
