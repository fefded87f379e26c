// The update check's download against a real HTTP server on the loopback
// address, and against local files.
#include <string>
#include <thread>

#include "platform/updates/CViewUpdates.h"
#include "tests/LoopbackServer.h"
#include "tests/PageHost.h"
#include "tests/win/WinTestSupport.h"

namespace {

using test::HttpResponse;
using test::LoopbackServer;

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
    std::wstring url, problem;
    ASSERT_TRUE(updates.UpdateUrl(url, problem));
    EXPECT_EQ(url.rfind(L"https://www.zerudozuz.example/", 0), 0u);
    UseUrl(L"http://127.0.0.1:1/x");
    ASSERT_TRUE(updates.UpdateUrl(url, problem));
    EXPECT_EQ(url, L"http://127.0.0.1:1/x");
    UseUrl(L"");
    ASSERT_TRUE(updates.UpdateUrl(url, problem));
    EXPECT_EQ(url.rfind(L"https://www.zerudozuz.example/", 0), 0u);
}

// A setting the hub cannot use is reported as such, and nothing is asked or
// fetched: the maker's address does not silently stand in for it.
TEST_F(UpdateCheckTest, AnAddressSettingThatCannotBeUsedIsReportedInsteadOfReplaced) {
    const std::wstring longest = L"http://127.0.0.1/" + std::wstring(CViewUpdates::kMaxUrlChars - 17, L'a');
    ASSERT_EQ(longest.size(), 2048u);
    UseUrl(longest);
    std::wstring url, problem;
    EXPECT_TRUE(updates.UpdateUrl(url, problem));
    EXPECT_EQ(url, longest);
    UseUrl(longest + L"a");
    EXPECT_FALSE(updates.UpdateUrl(url, problem));
    EXPECT_NE(problem.find(L"longer than 2,048 characters"), std::wstring::npos);
    EXPECT_EQ(updates.AskForUpdates(nullptr), 0);
    EXPECT_EQ(updates.reports, 1);
    EXPECT_NE(updates.lastReport.find(L"UpdateUrl"), std::wstring::npos);
    EXPECT_TRUE(Boxes().empty()) << "asked to connect anyway";
    EXPECT_EQ(updates.LoadUpdateFile(text), 0);
    EXPECT_EQ(updates.reports, 2);
    SetDword(L"Software\\Zerudozuz\\Quaylet\\Settings", L"UpdateUrl", 1);
    EXPECT_FALSE(updates.UpdateUrl(url, problem));
    EXPECT_NE(problem.find(L"not text"), std::wstring::npos);
}

// What the question and the messages show is what is contacted: characters
// that show nothing or turn the text around are written out.
TEST_F(UpdateCheckTest, InvisibleAndControlCharactersInTheAddressAreWrittenOut) {
    UseUrl(L"https://lists.example/\u202Etxt.exe\u200B\n/updates.txt");
    AnswerBoxesWith(IDNO);
    EXPECT_EQ(updates.AskForUpdates(nullptr), 0);
    ASSERT_EQ(Boxes().size(), 1u);
    const std::wstring& question = Boxes()[0].text;
    EXPECT_NE(question.find(L"https://lists.example/<U+202E>txt.exe<U+200B><U+000A>/updates.txt"),
              std::wstring::npos)
        << question;
    EXPECT_EQ(question.find(L'\u202E'), std::wstring::npos);
    EXPECT_EQ(CViewUpdates::ShownAddress(L"file:///C:/caf\u00e9/\u0085x"), L"file:///C:/caf\u00e9/<U+0085>x");
    UseUrl(L"file:///" + TempDir() + L"/\u202Emissing.txt");
    EXPECT_EQ(updates.LoadUpdateFile(text), 0);
    EXPECT_NE(updates.lastReport.find(L"<U+202E>missing.txt"), std::wstring::npos) << updates.lastReport;
    EXPECT_EQ(updates.lastReport.find(L'\u202E'), std::wstring::npos);
}

// The list comes from the address the user agreed to, even when the setting
// changes before it is fetched.
TEST_F(UpdateCheckTest, TheAddressFetchedIsTheOneInTheQuestion) {
    LoopbackServer asked(HttpResponse("200 OK", "ZeltoUpdates 1\r\nRow Foundry=5.05.01\r\n"));
    LoopbackServer other(HttpResponse("200 OK", "ZeltoUpdates 1\r\nLoad Hammer=9.00.00\r\n"));
    UseUrl(asked.Url());
    AnswerBoxesWith(IDYES);
    ASSERT_EQ(updates.AskForUpdates(nullptr), 1);
    EXPECT_NE(Boxes()[0].text.find(asked.Url()), std::wstring::npos);
    UseUrl(other.Url());
    ASSERT_EQ(updates.LoadUpdateFile(text), 1);
    EXPECT_NE(text.find(L"Row Foundry=5.05.01"), std::wstring::npos) << text;
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

// An address that names a device or a pipe is refused with its own message
// and never opened: reading a port or another program's pipe may wait
// without end, and a client takes the pipe's one instance.
TEST_F(UpdateCheckTest, DevicesAndPipesAreRefusedAndNeverOpened) {
    const std::wstring name = L"quaylet-list-" + test::UniqueName();
    HANDLE pipe =
        ::CreateNamedPipeW((L"\\\\.\\pipe\\" + name).c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                           PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096, 4096, 0, nullptr);
    ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
    OVERLAPPED connect{};
    connect.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ::ConnectNamedPipe(pipe, &connect);
    int reports = 0;
    const std::wstring urls[] = {L"file://./COM1", L"file:////./pipe/" + name, L"file://./pipe/" + name,
                                 L"file:///C:/lists/NUL.txt",
                                 L"file:////?/Volume{0a1b2c3d-0000-0000-0000-100000000000}"};
    for (const std::wstring& url : urls) {
        UseUrl(url);
        EXPECT_EQ(updates.LoadUpdateFile(text), 0) << url;
        EXPECT_EQ(updates.reports, ++reports);
        EXPECT_NE(updates.lastReport.find(L"names a device or a pipe"), std::wstring::npos)
            << updates.lastReport;
    }
    EXPECT_NE(::WaitForSingleObject(connect.hEvent, 200), WAIT_OBJECT_0) << "the pipe was opened";
    ::CancelIoEx(pipe, &connect);
    ::CloseHandle(pipe);
    ::CloseHandle(connect.hEvent);
}

// A server that says nothing: the wait shows its progress window over the
// owner, and Esc on its focused Cancel ends the check at once with nothing
// reported.
TEST_F(UpdateCheckTest, CancelEndsAWaitForAServerThatSaysNothing) {
    LoopbackServer server("", /*silent=*/true);
    UseUrl(server.Url());
    test::PageHost owner(400, 300);
    ::ShowWindow(owner.Hwnd(), SW_SHOW);
    updates.SetOwner(owner.Hwnd());
    const DWORD ui = ::GetCurrentThreadId();
    std::wstring shown;
    std::thread watcher([&] {
        // This thread's window only: a test in another process may show the
        // same caption on the same desktop at the same time.
        HWND window = nullptr;
        for (int i = 0; i < 1000 && !window; ++i) {
            ::Sleep(10);
            for (HWND w = nullptr; (w = ::FindWindowExW(nullptr, w, L"#32770", CViewUpdates::kCaption));)
                if (::GetWindowThreadProcessId(w, nullptr) == ui) window = w;
        }
        if (!window) return;
        // The window is found as soon as it exists, its text a moment later.
        for (int i = 0; i < 500 && shown.empty(); ++i) {
            wchar_t line[512] = {};
            ::SendMessageTimeoutW(::GetDlgItem(window, 100), WM_GETTEXT, 512, reinterpret_cast<LPARAM>(line),
                                  SMTO_NORMAL, 2000, nullptr);
            shown = line;
            if (shown.empty()) ::Sleep(10);
        }
        GUITHREADINFO info{sizeof info};
        for (int i = 0; i < 500 && !(::GetGUIThreadInfo(ui, &info) && info.hwndFocus); ++i) ::Sleep(10);
        ::PostMessageW(info.hwndFocus, WM_KEYDOWN, VK_ESCAPE, 1);
    });
    const ULONGLONG start = ::GetTickCount64();
    EXPECT_EQ(updates.LoadUpdateFile(text), 0);
    const ULONGLONG took = ::GetTickCount64() - start;
    watcher.join();
    EXPECT_TRUE(updates.Cancelled());
    EXPECT_EQ(updates.reports, 0);
    EXPECT_TRUE(text.empty());
    EXPECT_NE(shown.find(server.Url()), std::wstring::npos) << shown;
    EXPECT_LT(took, 8000u) << "ended by the deadline, not by Cancel";
}

}  // namespace
