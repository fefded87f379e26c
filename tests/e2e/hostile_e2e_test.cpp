// The real program over what other programs or a damaged machine may leave
// behind: devices and pipes named as programs and projects, a descriptor of
// hundreds of megabytes, an update list on a pipe that never answers, a bad
// address. The window must come up, show none of it and report in time.
#include "tests/e2e/E2eSupport.h"

#include <commctrl.h>

#include <cstdio>
#include <string>

#include "resources/resource.h"
#include "tests/LoopbackServer.h"
#include "tests/Pinger.h"

namespace {

using e2e::BoxText;
using e2e::E2eTest;
using e2e::Hub;
using e2e::WaitForBox;

const wchar_t kSuite[] = L"Software\\Zerudozuz\\";

// A pipe server that waits for a client and never writes a byte.
class SilentPipe {
public:
    explicit SilentPipe(const std::wstring& name) : m_path(L"\\\\.\\pipe\\" + name) {
        m_pipe = ::CreateNamedPipeW(m_path.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                    PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096, 4096, 0, nullptr);
        m_ov.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (m_pipe != INVALID_HANDLE_VALUE) ::ConnectNamedPipe(m_pipe, &m_ov);
    }
    ~SilentPipe() {
        if (m_pipe != INVALID_HANDLE_VALUE) {
            ::CancelIoEx(m_pipe, &m_ov);
            ::CloseHandle(m_pipe);
        }
        ::CloseHandle(m_ov.hEvent);
    }
    SilentPipe(const SilentPipe&) = delete;
    SilentPipe& operator=(const SilentPipe&) = delete;

    bool Listening() const { return m_pipe != INVALID_HANDLE_VALUE; }
    // Whether a client has connected (taken the one instance).
    bool Connected() const { return ::WaitForSingleObject(m_ov.hEvent, 0) == WAIT_OBJECT_0; }
    const std::wstring& Path() const { return m_path; }

private:
    std::wstring m_path;
    HANDLE m_pipe = INVALID_HANDLE_VALUE;
    OVERLAPPED m_ov{};
};

std::wstring Unique(const wchar_t* stem) {
    return stem + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(::GetTickCount64());
}

// A file of `size` bytes that costs no disk space to make: its end is moved out.
std::wstring SparseFile(const std::wstring& path, const std::string& head, LONGLONG size) {
    HANDLE h =
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    ::WriteFile(h, head.data(), static_cast<DWORD>(head.size()), &written, nullptr);
    LARGE_INTEGER end;
    end.QuadPart = size;
    ::SetFilePointerEx(h, end, nullptr, FILE_BEGIN);
    ::SetEndOfFile(h);
    ::CloseHandle(h);
    return path;
}

TEST_F(E2eTest, DevicesPipesAndAHugeDescriptorNeitherStallStartUpNorShowUp) {
    SilentPipe pipe(Unique(L"quaylet-e2e-") + L".rfp");
    ASSERT_TRUE(pipe.Listening());
    // Programs: every product but one names a device or the pipe.
    ASSERT_FALSE(InstallSheetFoundry().empty());
    const std::pair<const wchar_t*, std::wstring> programs[] = {
        {L"RowFoundry", L"COM1"},       {L"LoadHammer", pipe.Path()},
        {L"LayoutScribe", L"lpt1.exe"}, {L"TransferWorks", L"C:\\nul .exe"},
        {L"TriggerWatch", L"CONIN$"},   {L"ContentDiff", L"\\\\.\\COM2"},
    };
    for (const auto& [key, path] : programs) e2e::SetString(kSuite + std::wstring(key), L"ExePath", path);

    // Projects: devices and the pipe beside a real descriptor and a huge one.
    const std::wstring rf = kSuite + std::wstring(L"RowFoundry\\Settings");
    const std::wstring real = WriteFile(L"real.rfp", "[Tables]\r\nAuthor=Ann\r\nDescription=Q4\r\n");
    const std::wstring huge =
        SparseFile(TempDir() + L"\\huge.rfp", "[Tables]\r\nAuthor=Ann\r\n", 400LL * 1024 * 1024);
    e2e::SetString(rf, L"LastFile", L"COM1");
    e2e::SetString(rf, L"Profile0", pipe.Path());
    e2e::SetString(rf, L"Profile1", L"C:\\Projects\\NUL.rfp");
    e2e::SetString(rf, L"Profile2", real);
    e2e::SetString(rf, L"Profile3", L"\\\\?\\GLOBALROOT\\Device\\Null");
    e2e::SetString(rf, L"Profile4", huge);
    e2e::SetString(kSuite + std::wstring(L"LoadHammer\\Settings"), L"LastFile", L"CON.lhp");
    // Script libraries too.
    e2e::SetString(kSuite + std::wstring(L"StatementDesk2\\Settings"), L"Library", pipe.Path());
    e2e::SetString(kSuite + std::wstring(L"LoadHammer\\Settings"), L"Library", L"COM1");

    Hub hub;
    ASSERT_TRUE(hub.Start()) << "the window did not come up";
    EXPECT_FALSE(pipe.Connected()) << "the hub opened another program's pipe";

    HWND products = hub.Page(0);
    // Rows are made again as the looks at their programs answer, which can be
    // after the window shows: all rows known, 13 offer a download, Sheet
    // Foundry's can be started.
    const auto downloads = [products] {
        int n = 0;
        for (HWND c = ::GetWindow(products, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT))
            n += test::WindowText(c) == L"Download";
        return n;
    };
    EXPECT_TRUE(e2e::WaitFor(
        [&] { return downloads() == 13 && ::IsWindowEnabled(::GetDlgItem(products, 240)); }, 5000))
        << downloads();
    for (int command : {130, 140, 150, 160, 170, 180}) {
        HWND icon = ::GetDlgItem(products, command);
        ASSERT_NE(icon, nullptr) << command;
        EXPECT_FALSE(::IsWindowEnabled(icon)) << command << " counts as installed";
    }
    EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(products, 240)));

    ASSERT_TRUE(hub.SelectTab(e2e::kProjectsTab));
    HWND list = hub.PageItem(e2e::kProjectsTab, IDC_PROJECT_LIST);
    ASSERT_TRUE(e2e::WaitFor([&] { return ::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) == 2; }, 5000));
    EXPECT_EQ(e2e::ItemText(list, 0, 0), L"real.rfp");
    EXPECT_TRUE(e2e::WaitFor([&] { return e2e::ItemText(list, 0, 4) == L"Ann"; }, 5000));
    EXPECT_EQ(e2e::ItemText(list, 1, 0), L"huge.rfp");
    EXPECT_EQ(e2e::ItemText(list, 1, 4), L"") << "a huge descriptor is listed unread";
    EXPECT_NE(e2e::ItemText(list, 1, 2), L"");
}

// Runs Tools, Check for Updates and agrees to go online; the moment of the answer.
ULONGLONG AskAndAgree(const Hub& hub) {
    ::PostMessageW(hub.Window(), WM_COMMAND, 5816, 0);
    HWND ask = WaitForBox(hub, L"Check for Updates", 10000);
    EXPECT_NE(ask, nullptr);
    if (!ask) return 0;
    EXPECT_NE(BoxText(ask).find(L"will now connect to"), std::wstring::npos) << BoxText(ask);
    ::PostMessageW(ask, WM_COMMAND, IDYES, 0);
    EXPECT_TRUE(e2e::WaitFor([&] { return !::IsWindow(ask); }, 5000));
    return ::GetTickCount64();
}

void Dismiss(HWND box) {
    ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(e2e::WaitFor([&] { return !::IsWindow(box); }, 5000));
}

// A server that never says a word: the window answers all along, the wait
// shows its progress window, and the report follows the 10-second deadline.
// An address that names a pipe or a device is refused without being opened,
// and a malformed one has its own message.
TEST_F(E2eTest, AnUpdateListThatNeverArrivesIsReportedInTimeAndBadAddressesHaveTheirOwnMessages) {
    test::LoopbackServer server("", /*silent=*/true);
    const std::wstring settings = kSuite + std::wstring(L"Quaylet\\Settings");
    e2e::SetString(settings, L"UpdateUrl", server.Url());

    Hub hub;
    ASSERT_TRUE(hub.Start());
    test::Pinger watch(hub.Window());
    const ULONGLONG asked = AskAndAgree(hub);
    EXPECT_TRUE(
        e2e::WaitFor([&] { return e2e::FindProgressWindow(hub, L"Check for Updates") != nullptr; }, 5000));
    HWND report = WaitForBox(hub, L"Check for Updates", 20000);
    ASSERT_NE(report, nullptr) << "no report";
    const ULONGLONG reportedAfter = ::GetTickCount64() - asked;
    // The interval still open at the end counts too.
    const double longest = watch.Stop();
    EXPECT_NE(BoxText(report).find(L"did not answer within 10 seconds"), std::wstring::npos)
        << BoxText(report);
    EXPECT_GE(reportedAfter, 9000u);
    EXPECT_LE(reportedAfter, 14000u);
    EXPECT_LT(longest, 2000.0) << "the window stopped answering while it waited";
    std::printf("[ figures  ] longest unanswered WM_NULL during the update check: %.0f ms\n", longest);
    Dismiss(report);

    SilentPipe pipe(Unique(L"quaylet-e2e-list-"));
    ASSERT_TRUE(pipe.Listening());
    std::wstring url = L"file:" + pipe.Path();
    for (auto& c : url)
        if (c == L'\\') c = L'/';
    for (const std::wstring& address : {url, std::wstring(L"file://./COM1")}) {
        e2e::SetString(settings, L"UpdateUrl", address);
        AskAndAgree(hub);
        report = WaitForBox(hub, L"Check for Updates", 10000);
        ASSERT_NE(report, nullptr);
        EXPECT_NE(BoxText(report).find(L"names a device or a pipe"), std::wstring::npos) << BoxText(report);
        Dismiss(report);
    }
    EXPECT_FALSE(pipe.Connected()) << "the hub opened another program's pipe";

    // A malformed escape gives the update check's own message, not an internal error.
    e2e::SetString(settings, L"UpdateUrl", L"file:///C:/lists/upd%zzates.txt");
    AskAndAgree(hub);
    report = WaitForBox(hub, L"Check for Updates", 10000);
    ASSERT_NE(report, nullptr);
    EXPECT_NE(BoxText(report).find(L"is not a valid file address"), std::wstring::npos) << BoxText(report);
    Dismiss(report);
    ::PostMessageW(hub.Window(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(hub.WaitForExit());
}

TEST_F(E2eTest, AWindowClosedMaximisedComesBackMaximised) {
    {
        Hub hub;
        ASSERT_TRUE(hub.Start());
        ::SetWindowPos(hub.Window(), nullptr, 40, 30, 780, 600, SWP_NOZORDER);
        ::PostMessageW(hub.Window(), WM_SYSCOMMAND, SC_MAXIMIZE, 0);
        ASSERT_TRUE(e2e::WaitFor([&] { return ::IsZoomed(hub.Window()) != FALSE; }, 5000));
        ::PostMessageW(hub.Window(), WM_CLOSE, 0, 0);
        ASSERT_TRUE(hub.WaitForExit());
    }
    Hub again;
    ASSERT_TRUE(again.Start());
    // Let start-up run dry: the dialog's first idle moment comes after what it queued.
    for (int i = 0; i < 3; ++i) ::SendMessageW(again.Window(), WM_NULL, 0, 0);
    ::Sleep(1000);
    EXPECT_TRUE(::IsZoomed(again.Window()));
    ::PostMessageW(again.Window(), WM_SYSCOMMAND, SC_RESTORE, 0);
    // The style changes before the window moves: wait for the move too.
    RECT r{};
    e2e::WaitFor(
        [&] {
            ::GetWindowRect(again.Window(), &r);
            return !::IsZoomed(again.Window()) && r.left == 40;
        },
        5000);
    EXPECT_FALSE(::IsZoomed(again.Window()));
    EXPECT_RECT_EQ(r, test::RectAt(40, 30, 780, 600));
}

}  // namespace
