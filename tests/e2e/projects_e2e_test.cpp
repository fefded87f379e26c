// The recent projects page of the real program over the seeded demo suite,
// driven from outside: a double-click on a row starts the program associated
// with the project's extension, a project without association shows
// "Execution Failed", and a resized column keeps its width at the next start.
#include "tests/e2e/E2eSupport.h"

#include <commctrl.h>

#include <string>
#include <vector>

#include "resources/resource.h"

namespace {

using e2e::E2eTest;
using e2e::Hub;

const wchar_t kHubSettings[] = L"Software\\Zerudozuz\\Quaylet\\Settings";

int FindRow(HWND list, const std::wstring& name) {
    const int count = static_cast<int>(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < count; ++row)
        if (e2e::ItemText(list, row, 0) == name) return row;
    return -1;
}

RECT ItemRect(HWND list, int row) {
    e2e::RemoteBuffer remote(list, sizeof(RECT));
    RECT rect{};
    rect.left = LVIR_BOUNDS;
    remote.Write(0, &rect, sizeof rect);
    ::SendMessageW(list, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(remote.At(0)));
    remote.Read(0, &rect, sizeof rect);
    return rect;
}

// Clicks the row to select it and double-clicks it, as the mouse would.
void DoubleClickRow(HWND list, int row) {
    const RECT r = ItemRect(list, row);
    const int x = r.left + 40, y = (r.top + r.bottom) / 2;
    Hub::Click(list, x, y);
    e2e::WaitFor(
        [&] { return ::SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED) == row; },
        5000);
    Hub::Click(list, x, y, true);
}

class ProjectsE2eTest : public E2eTest {
protected:
    void SetUp() override {
        E2eTest::SetUp();
        const std::wstring demo = test::ProgramFolder() + L"\\demo";
        m_root = TempDir() + L"\\suite";
        ASSERT_TRUE(e2e::SeedDemoSuite(m_root));
        ASSERT_NE(::GetFileAttributesW((demo + L"\\projopen.exe").c_str()), INVALID_FILE_ATTRIBUTES)
            << "the project stand-in is built by demo/standins-projects.cmake";
    }

    HWND OpenProjects(Hub& hub) {
        if (!hub.Start() || !hub.SelectTab(e2e::kProjectsTab)) return nullptr;
        return hub.PageItem(e2e::kProjectsTab, IDC_PROJECT_LIST);
    }

    std::wstring m_root;
};

TEST_F(ProjectsE2eTest, DoubleClickStartsTheAssociatedProgramWithTheProject) {
    Hub hub;
    HWND list = OpenProjects(hub);
    ASSERT_NE(list, nullptr);
    // The seeded values: one row for the single value and its equal Profile0,
    // none for the same file in capitals or the missing one.
    const int row = FindRow(list, L"Customers.rfp");
    ASSERT_GE(row, 0);
    EXPECT_EQ(FindRow(list, L"CUSTOMERS.RFP"), -1);
    EXPECT_EQ(FindRow(list, L"Old Test Data.rfp"), -1);
    EXPECT_GE(FindRow(list, L"Orders.RFP"), 0);
    EXPECT_GE(FindRow(list, L"Inventory.2025.rfp"), 0);

    DoubleClickRow(list, row);
    const std::wstring path = m_root + L"\\Projects\\Row Foundry\\Customers.rfp";
    ASSERT_TRUE(e2e::WaitFor([&] { return !hub.Launches().empty(); })) << "no program was started";
    const std::wstring launch = hub.Launches().front();
    EXPECT_NE(launch.find(L"\\projopen.exe|"), std::wstring::npos) << launch;
    EXPECT_NE(launch.find(L"\"" + path + L"\""), std::wstring::npos) << launch;
    EXPECT_EQ(::FindWindowW(L"#32770", L"Execution Failed"), nullptr);
}

TEST_F(ProjectsE2eTest, ProjectWithoutAssociationShowsExecutionFailed) {
    Hub hub;
    HWND list = OpenProjects(hub);
    ASSERT_NE(list, nullptr);
    const int row = FindRow(list, L"Budget 2026.shfp");
    ASSERT_GE(row, 0);
    DoubleClickRow(list, row);

    HWND box = nullptr;
    ASSERT_TRUE(
        e2e::WaitFor([&] { return (box = ::FindWindowW(L"#32770", L"Execution Failed")) != nullptr; }));
    wchar_t text[512] = {};
    ::SendMessageW(::GetDlgItem(box, 0xFFFF), WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text));
    EXPECT_NE(text[0], L'\0');
    EXPECT_TRUE(hub.Launches().empty());
    ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(e2e::WaitFor([&] { return !::IsWindow(box); }, 5000));
}

TEST_F(ProjectsE2eTest, ResizedColumnKeepsItsWidthAtTheNextStart) {
    int dragged = 0;
    {
        Hub hub;
        HWND list = OpenProjects(hub);
        ASSERT_NE(list, nullptr);
        ASSERT_EQ(::SendMessageW(list, LVM_GETCOLUMNWIDTH, 1, 0), 165);
        // Drag the divider after the Folder column 60 pixels to the right.
        HWND header = reinterpret_cast<HWND>(::SendMessageW(list, LVM_GETHEADER, 0, 0));
        const int divider = static_cast<int>(::SendMessageW(list, LVM_GETCOLUMNWIDTH, 0, 0) +
                                             ::SendMessageW(list, LVM_GETCOLUMNWIDTH, 1, 0));
        ::PostMessageW(header, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(divider - 1, 8));
        ::PostMessageW(header, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(divider + 30, 8));
        ::PostMessageW(header, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(divider + 59, 8));
        ::PostMessageW(header, WM_LBUTTONUP, 0, MAKELPARAM(divider + 59, 8));
        ASSERT_TRUE(e2e::WaitFor([&] { return ::SendMessageW(list, LVM_GETCOLUMNWIDTH, 1, 0) != 165; }, 5000))
            << "the header did not follow the drag";
        dragged = static_cast<int>(::SendMessageW(list, LVM_GETCOLUMNWIDTH, 1, 0));
        EXPECT_EQ(dragged, 225);
        ::PostMessageW(hub.Window(), WM_CLOSE, 0, 0);
        ASSERT_TRUE(hub.WaitForExit());
    }
    HKEY key = nullptr;
    ASSERT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, kHubSettings, 0, KEY_READ, &key), ERROR_SUCCESS);
    DWORD value = 0, size = sizeof value;
    EXPECT_EQ(::RegQueryValueExW(key, L"ProjColW2", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size),
              ERROR_SUCCESS);
    ::RegCloseKey(key);
    EXPECT_EQ(static_cast<int>(value), dragged);

    Hub again;
    HWND list = OpenProjects(again);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(::SendMessageW(list, LVM_GETCOLUMNWIDTH, 1, 0), dragged);
    EXPECT_EQ(::SendMessageW(list, LVM_GETCOLUMNWIDTH, 0, 0), 135);
}

}  // namespace
