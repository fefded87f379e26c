// The real program while it waits for what does not answer (a silent server,
// a share whose reads never return), driven from outside: the window goes on
// answering (WM_NULL sent from this process with a timeout), a wait shows a
// progress window whose Cancel, pressed with a key posted to it, ends the
// wait with nothing changed, and a script that does not answer is given up
// for the next one.
#include "tests/e2e/E2eSupport.h"

#include <commctrl.h>

#include <cstdio>
#include <string>

#include "resources/resource.h"
#include "tests/HungShare.h"
#include "tests/LoopbackServer.h"
#include "tests/Pinger.h"

namespace {

using e2e::E2eTest;
using e2e::Hub;

const wchar_t kCaption[] = L"Check for Updates";
constexpr int kPreview = 1040;  // made by the page, not by its template

// A window's text; never waits more than a few seconds for a hub that does not answer.
std::wstring TextOf(HWND hwnd) {
    wchar_t text[4096] = {};
    DWORD_PTR got = 0;
    if (!::SendMessageTimeoutW(hwnd, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 5000,
                               &got))
        return L"(no answer)";
    return text;
}

TEST_F(E2eTest, CancelEndsAnUpdateCheckThatWaitsAndASecondCannotStartMeanwhile) {
    test::LoopbackServer server("", /*silent=*/true);
    e2e::SetString(L"Software\\Zerudozuz\\Quaylet\\Settings", L"UpdateUrl", server.Url());
    Hub hub;
    ASSERT_TRUE(hub.Start());
    test::Pinger watch(hub.Window());
    ::PostMessageW(hub.Window(), WM_COMMAND, 5816, 0);
    HWND ask = e2e::WaitForBox(hub, kCaption, 10000);
    ASSERT_NE(ask, nullptr);
    ::PostMessageW(ask, WM_COMMAND, IDYES, 0);

    HWND progress = nullptr;
    ASSERT_TRUE(
        e2e::WaitFor([&] { return (progress = e2e::FindProgressWindow(hub, kCaption)) != nullptr; }, 5000));
    EXPECT_NE(TextOf(::GetDlgItem(progress, 100)).find(server.Url()), std::wstring::npos);
    EXPECT_FALSE(::IsWindowEnabled(hub.Window()));
    // The command again, while the first check waits: refused.
    ::PostMessageW(hub.Window(), WM_COMMAND, 5816, 0);
    ::Sleep(500);
    EXPECT_EQ(e2e::WaitForBox(hub, kCaption, 0), nullptr) << "a second check asked";

    // Esc on the focused Cancel: the wait ends at once, nothing is reported.
    GUITHREADINFO info{sizeof info};
    ASSERT_TRUE(e2e::WaitFor(
        [&] {
            return ::GetGUIThreadInfo(::GetWindowThreadProcessId(hub.Window(), nullptr), &info) &&
                   ::GetDlgCtrlID(info.hwndFocus) == IDCANCEL && ::IsChild(progress, info.hwndFocus);
        },
        5000));
    const ULONGLONG pressed = ::GetTickCount64();
    ASSERT_TRUE(e2e::PressOnFocus(hub, VK_ESCAPE));
    ASSERT_TRUE(e2e::WaitFor([&] { return !::IsWindow(progress); }, 5000));
    const ULONGLONG ended = ::GetTickCount64() - pressed;
    EXPECT_EQ(e2e::WaitForBox(hub, kCaption, 1500), nullptr) << "a cancel was reported";
    EXPECT_TRUE(::IsWindowEnabled(hub.Window()));
    // The interval still open at the end counts too.
    const double longest = watch.Stop();
    EXPECT_LT(ended, 2000u);
    EXPECT_LT(longest, 2000.0);
    std::printf("[ figures  ] update check cancelled after %llu ms; longest unanswered WM_NULL %.0f ms\n",
                static_cast<unsigned long long>(ended), longest);

    // A check after it runs as usual.
    ::PostMessageW(hub.Window(), WM_COMMAND, 5816, 0);
    ask = e2e::WaitForBox(hub, kCaption, 10000);
    ASSERT_NE(ask, nullptr);
    ::PostMessageW(ask, WM_COMMAND, IDNO, 0);
    EXPECT_TRUE(e2e::WaitFor([&] { return !::IsWindow(ask); }, 5000));
}

// Selects a tree item from outside without waiting more than a few seconds
// for the hub; false when it did not answer.
bool SelectWithin(HWND tree, HTREEITEM item) {
    DWORD_PTR result = 0;
    return ::SendMessageTimeoutW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item),
                                 SMTO_NORMAL, 5000, &result) != 0;
}

HTREEITEM TreeItem(HWND tree, int index) {
    DWORD_PTR item = 0;
    ::SendMessageTimeoutW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0, SMTO_NORMAL, 5000, &item);
    for (int i = 0; i < index && item; ++i)
        ::SendMessageTimeoutW(tree, TVM_GETNEXTITEM, TVGN_NEXT, static_cast<LPARAM>(item), SMTO_NORMAL, 5000,
                              &item);
    return reinterpret_cast<HTREEITEM>(item);
}

// A script on a share whose reads never answer: choosing it shows that it is
// being read while the window goes on answering; choosing another script
// shows that one, and nothing of the first ever arrives. Closing the hub does
// not wait for the read.
TEST_F(E2eTest, AScriptThatDoesNotAnswerLeavesTheWindowAnsweringAndAnotherScriptGivesItUp) {
    test::HungShare share;
    if (!share.Available()) GTEST_SKIP() << share.Why();
    // Each hung script is opened once: under Wine the server that opens files
    // for every program would wait for the page a hung read holds, which a
    // real share never makes another program do.
    share.Put(L"lib\\hung.sql", "SELECT 'never';");
    share.Put(L"lib\\hung2.sql", "SELECT 'never either';");
    share.Put(L"lib\\there.sql", "SELECT 'there';");
    ASSERT_TRUE(share.Hang(L"read lib/hung*.sql"));
    e2e::SetString(L"Software\\Zerudozuz\\StatementDesk2\\Settings", L"Library", share.Path(L"lib"));

    Hub hub;
    ASSERT_TRUE(hub.Start());
    ASSERT_TRUE(hub.SelectTab(e2e::kLibraryTab));
    HWND tree = hub.PageItem(e2e::kLibraryTab, IDC_LIBRARY_TREE);
    HWND preview = hub.PageItem(e2e::kLibraryTab, kPreview);
    ASSERT_EQ(::SendMessageW(tree, TVM_GETCOUNT, 0, 0), 3);
    test::Pinger watch(hub.Window());
    ASSERT_TRUE(SelectWithin(tree, TreeItem(tree, 0))) << "the window stopped answering";
    EXPECT_TRUE(e2e::WaitFor([&] { return TextOf(preview) == L"Reading the script..."; }, 5000))
        << TextOf(preview);
    ::Sleep(1500);
    EXPECT_EQ(TextOf(preview).rfind(L"Reading the script...", 0), 0u) << TextOf(preview);
    ASSERT_TRUE(SelectWithin(tree, TreeItem(tree, 2))) << "the window stopped answering";
    EXPECT_TRUE(e2e::WaitFor([&] { return TextOf(preview) == L"SELECT 'there';"; }, 5000)) << TextOf(preview);
    // Another script that does not answer, and away again at once.
    ASSERT_TRUE(SelectWithin(tree, TreeItem(tree, 1)));
    ASSERT_TRUE(SelectWithin(tree, TreeItem(tree, 2)));
    EXPECT_TRUE(e2e::WaitFor([&] { return TextOf(preview) == L"SELECT 'there';"; }, 5000)) << TextOf(preview);
    ::Sleep(500);
    EXPECT_EQ(TextOf(preview), L"SELECT 'there';");
    // The interval still open at the end counts too.
    const double longest = watch.Stop();
    // Far below the seconds a wait on the interface thread would cost, and
    // loose enough for a loaded machine; the benchmark prints the figures.
    EXPECT_LT(longest, 3000.0);
    std::printf("[ figures  ] script on a hung share: longest unanswered WM_NULL %.0f ms\n", longest);

    // Closing while two reads still hang.
    const ULONGLONG closing = ::GetTickCount64();
    ::PostMessageW(hub.Window(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(e2e::WaitFor([&] { return !::IsWindow(hub.Window()); }, 5000)) << "the window stayed";
    std::printf("[ figures  ] window gone %llu ms after WM_CLOSE with two reads hanging\n",
                static_cast<unsigned long long>(::GetTickCount64() - closing));
    ASSERT_TRUE(share.KillServer());
    EXPECT_TRUE(hub.WaitForExit());
}

// An update list on a share whose reads never answer: the window answers all
// along, the deadline ends the wait with its message, and Cancel ends the
// next one at once without any.
TEST_F(E2eTest, AnUpdateListOnAShareThatDoesNotAnswerEndsAtTheDeadlineOrByCancel) {
    test::HungShare share;
    if (!share.Available()) GTEST_SKIP() << share.Why();
    // Two lists, each opened once (see above why).
    auto useList = [&](const wchar_t* name) {
        std::wstring url = L"file:///" + share.Put(name, "ZeltoUpdates 1\r\nRow Foundry=9.00.00\r\n");
        for (auto& c : url)
            if (c == L'\\') c = L'/';
        e2e::SetString(L"Software\\Zerudozuz\\Quaylet\\Settings", L"UpdateUrl", url);
    };
    ASSERT_TRUE(share.Hang(L"read updates*.txt"));
    useList(L"updates.txt");

    Hub hub;
    ASSERT_TRUE(hub.Start());
    test::Pinger watch(hub.Window());
    auto askAndAgree = [&] {
        ::PostMessageW(hub.Window(), WM_COMMAND, 5816, 0);
        HWND ask = e2e::WaitForBox(hub, kCaption, 10000);
        EXPECT_NE(ask, nullptr);
        if (ask) ::PostMessageW(ask, WM_COMMAND, IDYES, 0);
        return ::GetTickCount64();
    };
    const ULONGLONG asked = askAndAgree();
    EXPECT_TRUE(e2e::WaitFor([&] { return e2e::FindProgressWindow(hub, kCaption) != nullptr; }, 5000));
    HWND report = e2e::WaitForBox(hub, kCaption, 20000);
    ASSERT_NE(report, nullptr);
    const ULONGLONG after = ::GetTickCount64() - asked;
    EXPECT_NE(e2e::BoxText(report).find(L"could not be read within 10 seconds"), std::wstring::npos)
        << e2e::BoxText(report);
    EXPECT_GE(after, 9000u);
    EXPECT_LE(after, 14000u);
    ::PostMessageW(report, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(e2e::WaitFor([&] { return !::IsWindow(report); }, 5000));

    useList(L"updates2.txt");
    askAndAgree();
    HWND progress = nullptr;
    ASSERT_TRUE(
        e2e::WaitFor([&] { return (progress = e2e::FindProgressWindow(hub, kCaption)) != nullptr; }, 5000));
    GUITHREADINFO info{sizeof info};
    ASSERT_TRUE(e2e::WaitFor(
        [&] {
            return ::GetGUIThreadInfo(::GetWindowThreadProcessId(hub.Window(), nullptr), &info) &&
                   ::GetDlgCtrlID(info.hwndFocus) == IDCANCEL;
        },
        5000));
    ASSERT_TRUE(e2e::PressOnFocus(hub, VK_ESCAPE));
    EXPECT_TRUE(e2e::WaitFor([&] { return !::IsWindow(progress); }, 2000));
    EXPECT_EQ(e2e::WaitForBox(hub, kCaption, 1500), nullptr) << "a cancel was reported";
    // The interval still open at the end counts too.
    const double longest = watch.Stop();
    // Far below the seconds a wait on the interface thread would cost, and
    // loose enough for a loaded machine; the benchmark prints the figures.
    EXPECT_LT(longest, 3000.0);
    std::printf("[ figures  ] update list on a hung share: longest unanswered WM_NULL %.0f ms\n", longest);
    ASSERT_TRUE(share.KillServer());
    ::PostMessageW(hub.Window(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(hub.WaitForExit());
}

}  // namespace
