// The products page of the real program: rows tell installed from not
// installed, and a click on an installed product's icon starts the program
// recorded under the product's key.
#include "resources/resource.h"
#include "tests/e2e/E2eSupport.h"

#include <string>
#include <vector>

namespace {

using e2e::E2eTest;
using e2e::Hub;

std::vector<std::wstring> ChildTexts(HWND page) {
    std::vector<std::wstring> texts;
    for (HWND c = ::GetWindow(page, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT)) {
        wchar_t text[256] = {};
        ::GetWindowTextW(c, text, 256);
        texts.emplace_back(text);
    }
    return texts;
}

int Count(const std::vector<std::wstring>& texts, const std::wstring& text) {
    int n = 0;
    for (const std::wstring& t : texts) n += t == text;
    return n;
}

TEST_F(E2eTest, ClickOnAnInstalledProductsIconStartsItsRecordedProgram) {
    // A path with a blank, as programs usually live.
    const std::wstring folder = TempDir() + L"\\Row Foundry";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring exe = folder + L"\\rowfoundry.exe";
    ASSERT_TRUE(::CopyFileW((test::ProgramFolder() + L"\\demo\\rowfoundry.exe").c_str(), exe.c_str(), FALSE));
    e2e::SetString(L"Software\\Zerudozuz\\RowFoundry", L"ExePath", exe);
    e2e::SetString(L"Software\\Zerudozuz\\LoadHammer", L"ExePath", TempDir() + L"\\gone\\lh.exe");

    Hub hub;
    ASSERT_TRUE(hub.Start());
    HWND page = hub.Page(0);
    ASSERT_NE(page, nullptr);
    // On a loaded machine the version can answer after the window shows; the
    // row is then made again.
    EXPECT_TRUE(e2e::WaitFor(
        [&] {
            const std::vector<std::wstring> shown = ChildTexts(page);
            return Count(shown, L"Download") == 13 && Count(shown, L"5.04.12") == 1;
        },
        5000));
    HWND rowFoundry = ::GetDlgItem(page, 130);
    HWND loadHammer = ::GetDlgItem(page, 140);
    ASSERT_NE(rowFoundry, nullptr);
    ASSERT_NE(loadHammer, nullptr);
    EXPECT_TRUE(::IsWindowEnabled(rowFoundry));
    EXPECT_FALSE(::IsWindowEnabled(loadHammer)) << "its recorded program is gone";

    const std::vector<std::wstring> texts = ChildTexts(page);
    EXPECT_EQ(Count(texts, L"5.04.12"), 1) << "the stand-in's product version";
    EXPECT_EQ(Count(texts, L"Download"), 13);
    EXPECT_EQ(Count(texts, L"Online Help"), 14);

    // A disabled icon sends nothing; the installed one starts its program.
    Hub::Click(loadHammer, 20, 20);
    Hub::Click(rowFoundry, 20, 20);
    ASSERT_TRUE(e2e::WaitFor([&] { return !hub.Launches().empty(); }));
    ::Sleep(500);
    const std::vector<std::wstring> launches = hub.Launches();
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_EQ(launches[0].substr(0, launches[0].find(L'|')), exe);
}

TEST_F(E2eTest, ShowInstalledOnlyClosesUpTheRowsInTheRunningHub) {
    const std::wstring exe = InstallSheetFoundry();
    ASSERT_FALSE(exe.empty());

    Hub hub;
    ASSERT_TRUE(hub.Start());
    HWND page = hub.Page(0);
    HWND check = ::GetDlgItem(page, IDC_SHOW_INSTALLED_ONLY);
    ASSERT_NE(check, nullptr);
    ::PostMessageW(check, BM_CLICK, 0, 0);
    // The relayout runs in the hub: wait until it has finished with the last row.
    ASSERT_TRUE(e2e::WaitFor(
        [&] { return ::GetDlgItem(page, 130) == nullptr && ChildTexts(page).size() == 1 + 4; }, 5000));
    HWND sheet = ::GetDlgItem(page, 240);
    ASSERT_NE(sheet, nullptr);
    RECT r{};
    ::GetWindowRect(sheet, &r);
    ::MapWindowPoints(HWND_DESKTOP, page, reinterpret_cast<POINT*>(&r), 2);
    EXPECT_EQ(r.top, 16) << "the only installed product moves to the first row";
    const std::vector<std::wstring> texts = ChildTexts(page);
    EXPECT_EQ(Count(texts, L"Online Help"), 1);
    EXPECT_EQ(Count(texts, L"Download"), 0);

    ::PostMessageW(sheet, BM_CLICK, 0, 0);
    ASSERT_TRUE(e2e::WaitFor([&] { return !hub.Launches().empty(); }));
    EXPECT_EQ(hub.Launches()[0].substr(0, hub.Launches()[0].find(L'|')), exe);
}

}  // namespace
