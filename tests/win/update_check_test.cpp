// The update check's download against a real HTTP server on the loopback
// address, and against local files.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <atomic>
#include <string>
#include <thread>

#include "platform/framework/CViewUpdates.h"
#include "tests/win/WinTestSupport.h"

namespace {

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

std::string HttpResponse(const std::string& status, const std::string& body) {
    return "HTTP/1.1 " + status +
           "\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

class CountingUpdates : public CViewUpdates {
public:
    int reports = 0;
    std::wstring lastReport;

protected:
    void ReportError(const std::wstring& text) override {
        ++reports;
        lastReport = text;
    }
};

class UpdateCheckTest : public WinTest {
protected:
    void UseUrl(const std::wstring& url) {
        SetString(L"Software\\Zerudozuz\\Quaylet\\Settings", L"UpdateUrl", url);
    }
    CountingUpdates updates;
    std::wstring text = L"stale";
};

TEST_F(UpdateCheckTest, DefaultAddressIsOnTheMakersSiteOverHttps) {
    EXPECT_EQ(updates.UpdateUrl().rfind(L"https://www.zerudozuz.example/", 0), 0u);
    UseUrl(L"http://127.0.0.1:1/x");
    EXPECT_EQ(updates.UpdateUrl(), L"http://127.0.0.1:1/x");
}

TEST_F(UpdateCheckTest, ReadsAListFromTheServer) {
    LoopbackServer server(HttpResponse("200 OK", "ZeltoUpdates 1\r\nRow Foundry=5.05.01\r\n"));
    UseUrl(server.Url());
    ASSERT_EQ(updates.LoadUpdateFile(text), 1);
    EXPECT_EQ(updates.reports, 0);
    size_t pos = 0;
    std::wstring version, spare, name;
    ASSERT_EQ(updates.ReadString(version, spare, name, text, pos), 1);
    EXPECT_EQ(name, L"Row Foundry");
    EXPECT_EQ(version, L"5.05.01");
    EXPECT_EQ(updates.ReadString(version, spare, name, text, pos), 0);
}

TEST_F(UpdateCheckTest, EveryFailureIsReportedOnceAndYieldsNoEntries) {
    struct Case {
        const char* what;
        std::string response;
        const wchar_t* expect;
    } cases[] = {
        {"not found", HttpResponse("404 Not Found", "gone"), L"404"},
        {"an html page", HttpResponse("200 OK", "<html><body>Welcome</body></html>"), L"could not be used"},
        {"huge", HttpResponse("200 OK", "ZeltoUpdates 1\n" + std::string(600 * 1024, '#')), L"larger"},
        {"empty", HttpResponse("200 OK", ""), L"could not be used"},
    };
    for (const Case& c : cases) {
        LoopbackServer server(c.response);
        UseUrl(server.Url());
        CountingUpdates u;
        std::wstring t = L"stale";
        EXPECT_EQ(u.LoadUpdateFile(t), 0) << c.what;
        EXPECT_TRUE(t.empty()) << c.what;
        EXPECT_EQ(u.reports, 1) << c.what;
        EXPECT_NE(u.lastReport.find(c.expect), std::wstring::npos) << c.what;
    }
}

TEST_F(UpdateCheckTest, AServerThatNeverAnswersTimesOut) {
    LoopbackServer server("", /*silent=*/true);
    UseUrl(server.Url());
    updates.SetTimeout(1500);
    const ULONGLONG start = ::GetTickCount64();
    EXPECT_EQ(updates.LoadUpdateFile(text), 0);
    const ULONGLONG elapsed = ::GetTickCount64() - start;
    EXPECT_EQ(updates.reports, 1);
    EXPECT_NE(updates.lastReport.find(L"did not answer"), std::wstring::npos) << updates.lastReport;
    EXPECT_LT(elapsed, 15000u);  // bounded by the timeout, not by the server
}

TEST_F(UpdateCheckTest, RefusedConnectionAndOtherSchemes) {
    unsigned short port;
    {
        LoopbackServer closed("");
        port = static_cast<unsigned short>(std::stoi(closed.Url().substr(17)));
    }
    UseUrl(L"http://127.0.0.1:" + std::to_wstring(port) + L"/updates.txt");
    EXPECT_EQ(updates.LoadUpdateFile(text), 0);
    EXPECT_EQ(updates.reports, 1);

    UseUrl(L"ftp://127.0.0.1/updates.txt");
    EXPECT_EQ(updates.LoadUpdateFile(text), 0);
    EXPECT_EQ(updates.reports, 2);
    EXPECT_NE(updates.lastReport.find(L"not an http"), std::wstring::npos);
}

TEST_F(UpdateCheckTest, LocalFileAddresses) {
    const std::wstring path =
        WriteFile(L"lists\\updates.txt", "\xEF\xBB\xBFZeltoUpdates 1\nLoad Hammer=3.10.00\n");
    std::wstring url = L"file:///" + path;
    for (auto& c : url)
        if (c == L'\\') c = L'/';
    UseUrl(url);
    ASSERT_EQ(updates.LoadUpdateFile(text), 1);
    EXPECT_NE(text.find(L"Load Hammer=3.10.00"), std::wstring::npos);
    UseUrl(L"file:///" + TempDir() + L"\\missing.txt");
    EXPECT_EQ(updates.LoadUpdateFile(text), 0);
    EXPECT_EQ(updates.reports, 1);
}

}  // namespace
