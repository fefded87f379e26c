// Readability under Wine: the products rows and the lists at the DPI of the
// prefix the test runs in (the build runs these tests at 96, 144 and 192 dpi),
// tooltip texts read back from the real tooltip controls, the names screen
// readers are given, and the labels' colours in a dark scheme.
#include <windows.h>
#include <commctrl.h>
#include <oleacc.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <map>
#include <set>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/CSettings.h"
#include "pages/connections/PageConnections.h"
#include "pages/products/CLabel.h"
#include "pages/products/PageProducts.h"
#include "pages/projects/PageProjects.h"
#include "platform/framework/Process.h"
#include "platform/ui/Colours.h"
#include "platform/ui/Dpi.h"
#include "resources/resource.h"
#include "tests/win/PageTest.h"

namespace {

// Every tool of a tooltip control and its text, as the control itself answers.
std::map<HWND, std::wstring> TipsOf(HWND tooltip) {
    std::map<HWND, std::wstring> tips;
    const int count = static_cast<int>(::SendMessageW(tooltip, TTM_GETTOOLCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        TTTOOLINFOW info{};
        info.cbSize = sizeof info;
        if (!::SendMessageW(tooltip, TTM_ENUMTOOLSW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&info)))
            continue;
        wchar_t text[1024] = {};
        info.lpszText = text;
        ::SendMessageW(tooltip, TTM_GETTEXTW, 1024, reinterpret_cast<LPARAM>(&info));
        tips[reinterpret_cast<HWND>(info.uId)] = text;
    }
    return tips;
}

// The names given through the accessibility annotation, recorded by a class
// object that stands in for the platform's in this process (Wine's answers
// E_NOTIMPL, so a screen reader's view cannot be read back here).
class RecordingAnnotations : public IAccPropServices, public IClassFactory {
public:
    std::map<std::pair<HWND, DWORD>, std::wstring> names;
    std::set<HWND> links;  // windows announced as links

    HRESULT WINAPI QueryInterface(REFIID iid, void** out) override {
        static const GUID kIid = {
            0x6e26e776, 0x04f0, 0x495d, {0x80, 0xe4, 0x33, 0x30, 0x35, 0x2e, 0x31, 0x69}};
        if (iid == IID_IUnknown || iid == IID_IClassFactory)
            *out = static_cast<IClassFactory*>(this);
        else if (iid == kIid)
            *out = static_cast<IAccPropServices*>(this);
        else
            return *out = nullptr, E_NOINTERFACE;
        return S_OK;
    }
    ULONG WINAPI AddRef() override { return 2; }
    ULONG WINAPI Release() override { return 1; }
    HRESULT WINAPI CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        return outer ? CLASS_E_NOAGGREGATION : QueryInterface(iid, out);
    }
    HRESULT WINAPI LockServer(BOOL) override { return S_OK; }

    HRESULT WINAPI SetHwndPropStr(HWND hwnd, DWORD object, DWORD child, MSAAPROPID prop,
                                  LPCWSTR str) override {
        if (object != static_cast<DWORD>(OBJID_CLIENT) || prop != kName) return E_INVALIDARG;
        names[{hwnd, child}] = str;
        return S_OK;
    }
    HRESULT WINAPI ClearHwndProps(HWND hwnd, DWORD, DWORD child, const MSAAPROPID* props,
                                  int count) override {
        for (int i = 0; i < count; ++i) {
            if (props[i] == kName) names.erase({hwnd, child});
            if (props[i] == kRole && child == CHILDID_SELF) links.erase(hwnd);
        }
        return S_OK;
    }
    HRESULT WINAPI SetHwndProp(HWND hwnd, DWORD object, DWORD child, MSAAPROPID prop, VARIANT var) override {
        if (object != static_cast<DWORD>(OBJID_CLIENT) || prop != kRole || var.vt != VT_I4)
            return E_INVALIDARG;
        if (child == CHILDID_SELF && var.lVal == ROLE_SYSTEM_LINK) links.insert(hwnd);
        return S_OK;
    }
    HRESULT WINAPI SetPropValue(const BYTE*, DWORD, MSAAPROPID, VARIANT) override { return E_NOTIMPL; }
    HRESULT WINAPI SetPropServer(const BYTE*, DWORD, const MSAAPROPID*, int, IAccPropServer*,
                                 AnnoScope) override {
        return E_NOTIMPL;
    }
    HRESULT WINAPI ClearProps(const BYTE*, DWORD, const MSAAPROPID*, int) override { return E_NOTIMPL; }
    HRESULT WINAPI SetHwndPropServer(HWND, DWORD, DWORD, const MSAAPROPID*, int, IAccPropServer*,
                                     AnnoScope) override {
        return E_NOTIMPL;
    }
    HRESULT WINAPI ComposeHwndIdentityString(HWND, DWORD, DWORD, BYTE**, DWORD*) override {
        return E_NOTIMPL;
    }
    HRESULT WINAPI DecomposeHwndIdentityString(const BYTE*, DWORD, HWND*, DWORD*, DWORD*) override {
        return E_NOTIMPL;
    }
    HRESULT WINAPI SetHmenuProp(HMENU, DWORD, MSAAPROPID, VARIANT) override { return E_NOTIMPL; }
    HRESULT WINAPI SetHmenuPropStr(HMENU, DWORD, MSAAPROPID, LPCWSTR) override { return E_NOTIMPL; }
    HRESULT WINAPI SetHmenuPropServer(HMENU, DWORD, const MSAAPROPID*, int, IAccPropServer*,
                                      AnnoScope) override {
        return E_NOTIMPL;
    }
    HRESULT WINAPI ClearHmenuProps(HMENU, DWORD, const MSAAPROPID*, int) override { return E_NOTIMPL; }
    HRESULT WINAPI ComposeHmenuIdentityString(HMENU, DWORD, BYTE**, DWORD*) override { return E_NOTIMPL; }
    HRESULT WINAPI DecomposeHmenuIdentityString(const BYTE*, DWORD, HMENU*, DWORD*) override {
        return E_NOTIMPL;
    }

    std::wstring NameOf(HWND hwnd, DWORD child = CHILDID_SELF) const {
        const auto it = names.find({hwnd, child});
        return it == names.end() ? L"(none)" : it->second;
    }

private:
    static constexpr GUID kName = {
        0x608d3df8, 0x8128, 0x4aa7, {0xa4, 0x28, 0xf5, 0x5e, 0x49, 0x26, 0x72, 0x91}};
    static constexpr GUID kRole = {
        0xcb905ff2, 0x7bd1, 0x4c05, {0xb3, 0xc8, 0xe6, 0xc2, 0x41, 0x36, 0x4d, 0x70}};
};

class Readable : public PageTest<PageProducts, CSettings> {
protected:
    Readable() : PageTest(1400, 1400) {}

    // The DPI this run is for: the prefix's, when the build says which it is.
    static UINT Dpi(HWND hwnd) {
        const UINT dpi = ui::DpiOf(hwnd);
        if (const char* expected = std::getenv("QUAYLET_TEST_DPI")) {
            EXPECT_EQ(dpi, std::strtoul(expected, nullptr, 10));
        }
        return dpi;
    }
    static RECT Px(int l, int t, int r, int b, UINT dpi) { return ui::Scale(RECT{l, t, r, b}, dpi); }

    std::wstring Install(int position) {
        static const wchar_t* const kKeys[] = {L"RowFoundry", L"LoadHammer", L"LayoutScribe"};
        const std::wstring exe = TempDir() + L"\\p" + std::to_wstring(position) + L".exe";
        EXPECT_TRUE(
            ::CopyFileW((test::ProgramFolder() + L"\\demo\\test_v1234.exe").c_str(), exe.c_str(), FALSE));
        SetString(std::wstring(L"Software\\Zerudozuz\\") + kKeys[position], L"ExePath", exe);
        return exe;
    }
    // Row Foundry installed with a newer version known, Load Hammer installed, the rest not.
    void OpenProducts() {
        Install(0);
        Install(1);
        CreatePage().Activate();
        m_page->SetUpdateVersion(L"Row Foundry", L"1.02.04");
        m_page->RelayoutRows();
        ASSERT_TRUE(SettleReads(*m_page));
    }
    const RowControls& Row(int i) const { return *m_page->Entries()[i].controls; }
    RECT RectOf(HWND child) const { return m_page->ChildRect(child); }

    // What a control paints: its text as its font lays it out in its
    // rectangle (clipped to it), or the whole rectangle of an icon button.
    RECT Ink(HWND control, HFONT font, UINT format, bool* fits) const {
        const RECT r = RectOf(control);
        HDC dc = ::GetDC(control);
        HGDIOBJ old = ::SelectObject(dc, font);
        RECT text{0, 0, r.right - r.left, 0};
        const std::wstring s = test::WindowText(control);
        ::DrawTextW(dc, s.c_str(), -1, &text, format | DT_CALCRECT | DT_NOPREFIX);
        ::SelectObject(dc, old);
        ::ReleaseDC(control, dc);
        *fits = text.right <= r.right - r.left && text.bottom <= r.bottom - r.top;
        RECT ink{r.left, r.top, r.left + text.right, r.top + text.bottom}, clipped{};
        ::IntersectRect(&clipped, &ink, &r);
        return clipped;
    }
    HFONT LabelFont(CLabel& label) const {
        // The font is made at the first colour request, as when the label first paints.
        HDC dc = ::GetDC(label.Hwnd());
        ::SendMessageW(m_page->Hwnd(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                       reinterpret_cast<LPARAM>(label.Hwnd()));
        ::ReleaseDC(label.Hwnd(), dc);
        return label.Font();
    }
};

TEST_F(Readable, ProductRowsFollowTheScreenDpiWithNothingOverlappingOrCut) {
    OpenProducts();
    const UINT dpi = Dpi(m_page->Hwnd());
    EXPECT_EQ(m_page->Dpi(), dpi);
    EXPECT_EQ(m_page->ContentHeight(), ui::Scale(716, dpi));
    HFONT linkFont = reinterpret_cast<HFONT>(::SendMessageW(m_page->Hwnd(), WM_GETFONT, 0, 0));

    struct Painted {
        RECT box;
        std::string what;
    };
    std::vector<Painted> inks;
    std::set<LONG> helpLefts, updateLefts;
    LONG helpNeeds = LONG_MIN, updateNeeds = LONG_MIN;
    for (int i = 0; i < kProductEntryCount; ++i) {
        SCOPED_TRACE(i);
        const RowControls& r = Row(i);
        const int y = 16 + 50 * i;
        // The rows' rectangles, the very ones of 96 dpi scaled.
        EXPECT_RECT_EQ(RectOf(r.iconButton->Hwnd()), Px(8, y, 58, y + 48, dpi));
        EXPECT_RECT_EQ(RectOf(r.nameLabel->Hwnd()), Px(68, y + 2, 428, y + 48, dpi));
        EXPECT_RECT_EQ(RectOf(r.descriptionLabel->Hwnd()), Px(73, y + 23, 675, y + 50, dpi));
        // The version starts where the row puts it; the links stand in line
        // (checked below the loop).
        if (r.versionLabel) {
            const RECT version = RectOf(r.versionLabel->Hwnd());
            EXPECT_EQ(version.left, Px(295, 0, 375, 0, dpi).left);
            EXPECT_EQ(version.top, Px(0, y + 5, 0, y + 20, dpi).top);
            helpNeeds = std::max(helpNeeds, version.right + ui::Scale(5, dpi));
        }
        for (CUrlStatic* link : {r.helpLink.get(), r.updateLink.get()}) {
            if (!link) continue;
            const RECT got = RectOf(link->Hwnd());
            (link == r.helpLink.get() ? helpLefts : updateLefts).insert(got.left);
            EXPECT_EQ(got.top, Px(0, y + 5, 0, y + 20, dpi).top);
            EXPECT_GE(got.bottom, Px(0, y + 5, 0, y + 20, dpi).bottom);
        }
        if (r.updateLink)
            updateNeeds = std::max(updateNeeds, RectOf(r.helpLink->Hwnd()).right + ui::Scale(5, dpi));

        // The icon at the size the DPI asks for.
        ICONINFO info{};
        ASSERT_TRUE(::GetIconInfo(
            reinterpret_cast<HICON>(::SendMessageW(r.iconButton->Hwnd(), BM_GETIMAGE, IMAGE_ICON, 0)),
            &info));
        BITMAP bm{};
        ::GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bm, &bm);
        EXPECT_EQ(bm.bmWidth, ui::Scale(32, dpi));
        if (info.hbmColor) ::DeleteObject(info.hbmColor);
        if (info.hbmMask) ::DeleteObject(info.hbmMask);

        // The bold name is three pixels taller at 96 dpi, proportionally more above.
        LOGFONTW stock{};
        ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof stock, &stock);
        HFONT nameFont = LabelFont(*r.nameLabel);
        EXPECT_EQ(r.nameLabel->FontDescription().lfHeight,
                  ::MulDiv(stock.lfHeight, dpi, ui::SystemDpi()) - ui::Scale(3, dpi));

        inks.push_back({RectOf(r.iconButton->Hwnd()), "icon " + std::to_string(i)});
        bool fits = false;
        inks.push_back(
            {Ink(r.nameLabel->Hwnd(), nameFont, DT_WORDBREAK, &fits), "name " + std::to_string(i)});
        EXPECT_TRUE(fits) << "name of row " << i << " " << inks.back().box;
        inks.push_back({Ink(r.descriptionLabel->Hwnd(), LabelFont(*r.descriptionLabel), DT_WORDBREAK, &fits),
                        "description " + std::to_string(i)});
        EXPECT_TRUE(fits) << "description of row " << i << " " << inks.back().box;
        inks.push_back(
            {Ink(r.helpLink->Hwnd(), linkFont, DT_SINGLELINE, &fits), "help " + std::to_string(i)});
        EXPECT_TRUE(fits) << "help link of row " << i << " " << inks.back().box;
        if (r.updateLink) {
            inks.push_back(
                {Ink(r.updateLink->Hwnd(), linkFont, DT_SINGLELINE, &fits), "update " + std::to_string(i)});
            EXPECT_TRUE(fits) << "update link of row " << i;
        }
        if (r.versionLabel) {
            inks.push_back({Ink(r.versionLabel->Hwnd(), LabelFont(*r.versionLabel), DT_WORDBREAK, &fits),
                            "version " + std::to_string(i)});
            EXPECT_TRUE(fits) << "version of row " << i << " " << inks.back().box;
        }
    }
    // Each column of links as far right as the row that needs the most room
    // has it, and no further: where the row puts it when every text fits.
    ASSERT_EQ(helpLefts.size(), 1u);
    EXPECT_EQ(*helpLefts.begin(), std::max(Px(380, 0, 440, 0, dpi).left, helpNeeds));
    ASSERT_EQ(updateLefts.size(), 1u);
    EXPECT_EQ(*updateLefts.begin(), std::max(Px(450, 0, 500, 0, dpi).left, updateNeeds));
    for (size_t a = 0; a < inks.size(); ++a)
        for (size_t b = a + 1; b < inks.size(); ++b) {
            RECT both{};
            EXPECT_FALSE(::IntersectRect(&both, &inks[a].box, &inks[b].box))
                << inks[a].what << " " << inks[a].box << " overlaps " << inks[b].what << " " << inks[b].box;
        }
}

TEST_F(Readable, KeyboardFocusBringsTheWholeLastRowIntoView) {
    OpenProducts();
    const UINT dpi = Dpi(m_page->Hwnd());
    ::ShowWindow(m_host.Hwnd(), SW_SHOWNOACTIVATE);
    RECT r{};
    ::GetWindowRect(m_page->Hwnd(), &r);
    ::SetWindowPos(m_page->Hwnd(), nullptr, 0, 0, r.right - r.left, ui::Scale(300, dpi),
                   SWP_NOZORDER | SWP_NOMOVE);
    const int cy = m_page->ClientHeight();
    const RowControls& last = Row(kProductEntryCount - 1);
    ::SetFocus(last.helpLink->Hwnd());
    ASSERT_GT(m_page->ScrollPos(), 0);
    for (HWND control : {last.iconButton->Hwnd(), last.descriptionLabel->Hwnd()}) {
        const RECT shown = RectOf(control);
        EXPECT_GE(shown.top, 0) << shown;
        EXPECT_LE(shown.bottom, cy) << shown << " below a page " << cy << " high";
    }
}

TEST_F(Readable, TooltipsHoldWhatTheControlsCannotShow) {
    OpenProducts();
    const std::wstring rowFoundry = TempDir() + L"\\p0.exe";
    std::map<HWND, std::wstring> tips = TipsOf(m_page->ToolTip());
    const RowControls& update = Row(0);
    EXPECT_EQ(tips[update.iconButton->Hwnd()], L"Zelto Row Foundry\n" + rowFoundry);
    EXPECT_EQ(tips[update.versionLabel->Hwnd()], L"Installed version 1.02.03\nNewer version 1.02.04");
    EXPECT_EQ(tips[update.helpLink->Hwnd()], update.helpLink->URL());
    EXPECT_EQ(tips[update.updateLink->Hwnd()], g_siteBase + L"login.html");
    EXPECT_EQ(tips[Row(1).versionLabel->Hwnd()], L"Installed version 1.02.03");
    EXPECT_EQ(tips[Row(2).iconButton->Hwnd()], L"Zelto Layout Scribe\nnot installed");
    EXPECT_EQ(tips[Row(2).updateLink->Hwnd()], g_siteBase + L"login.html");
    // Icon and help link in every row, the update or download link where there is one, and the version.
    EXPECT_EQ(tips.size(), 4u + 3 + 12 * 3);

    // A relayout leaves no tool behind for a window that is gone.
    ::SendMessageW(m_page->Item(IDC_SHOW_INSTALLED_ONLY), BM_CLICK, 0, 0);
    Pump();
    tips = TipsOf(m_page->ToolTip());
    EXPECT_EQ(tips.size(), 4u + 3);
    for (const auto& [tool, text] : tips)
        EXPECT_TRUE(::IsWindow(tool)) << std::string(text.begin(), text.end());

    PageConnections connections(&m_host);
    ASSERT_TRUE(connections.Create(0, 0));
    ASSERT_TRUE(SettleReads(connections));
    HWND open = connections.Item(IDC_CONN_OPEN);
    std::wstring openTip;
    for (HWND t = nullptr; (t = ::FindWindowExW(nullptr, t, TOOLTIPS_CLASSW, nullptr));)
        if (const auto tool = TipsOf(t); tool.count(open)) openTip = tool.at(open);
    EXPECT_EQ(openTip, L"Open selected database with Zelto Table Bench");
}

TEST_F(Readable, ScreenReadersHearWhatEachIconButtonAndLinkIsFor) {
    RecordingAnnotations annotations;
    static const GUID kClsid = {0xb5f8350b, 0x0548, 0x48b1, {0xa6, 0xee, 0x88, 0xbd, 0x00, 0xb4, 0xa5, 0xe7}};
    DWORD cookie = 0;
    ASSERT_EQ(::CoRegisterClassObject(kClsid, static_cast<IClassFactory*>(&annotations), CLSCTX_INPROC_SERVER,
                                      REGCLS_MULTIPLEUSE, &cookie),
              S_OK);
    OpenProducts();
    EXPECT_EQ(annotations.NameOf(Row(0).iconButton->Hwnd()), L"Start Zelto Row Foundry");
    EXPECT_EQ(annotations.NameOf(Row(2).iconButton->Hwnd()), L"Zelto Layout Scribe, not installed");
    EXPECT_EQ(annotations.NameOf(Row(0).helpLink->Hwnd()), L"Online Help for Row Foundry");
    EXPECT_EQ(annotations.NameOf(Row(0).updateLink->Hwnd()), L"Update Row Foundry");
    EXPECT_EQ(annotations.NameOf(Row(2).updateLink->Hwnd()), L"Download Layout Scribe");
    EXPECT_EQ(annotations.names.size(), 3u + 2 + 12 * 3);
    EXPECT_EQ(
        annotations.links.count(Row(0).helpLink->Hwnd()) + annotations.links.count(Row(0).updateLink->Hwnd()),
        2u);
    EXPECT_EQ(annotations.links.size(), 2u + 1 + 12 * 2) << "help, update and download links";
    ::SendMessageW(m_page->Item(IDC_SHOW_INSTALLED_ONLY), BM_CLICK, 0, 0);
    Pump();
    EXPECT_EQ(annotations.names.size(), 3u + 2) << "names of destroyed rows are taken back";

    {
        PageConnections connections(&m_host);
        ASSERT_TRUE(connections.Create(0, 0));
        ASSERT_TRUE(SettleReads(connections));
        EXPECT_EQ(annotations.NameOf(connections.Item(IDC_CONN_OPEN)),
                  L"Open selected database with Zelto Table Bench");
        PageProjects projects(&m_host);
        ASSERT_TRUE(projects.Create(0, 0));
        ASSERT_TRUE(SettleReads(projects));
        EXPECT_EQ(annotations.NameOf(ListView_GetHeader(projects.List().Hwnd()), 4), L"Last Update Time");
    }
    m_page.reset();
    EXPECT_TRUE(annotations.names.empty());
    EXPECT_TRUE(annotations.links.empty());
    ::CoRevokeClassObject(cookie);
}

TEST_F(Readable, ColumnWidthsAreStoredIn96DpiUnits) {
    const int widths[6] = {135, 201, 75, 55, 3000, 1};
    const wchar_t* const keys[6] = {L"ProjColW1", L"ProjColW2", L"ProjColW3",
                                    L"ProjColW4", L"ProjColW5", L"ProjColW6"};
    for (int i = 0; i < 6; ++i) SetDword(L"Software\\Zerudozuz\\Quaylet\\Settings", keys[i], widths[i]);
    m_settings = std::make_unique<CSettings>();
    g_settings = m_settings.get();
    {
        PageProjects projects(&m_host);
        ASSERT_TRUE(projects.Create(0, 0));
        ASSERT_TRUE(SettleReads(projects));
        const UINT dpi = Dpi(projects.Hwnd());
        for (int i = 0; i < 6; ++i)
            EXPECT_EQ(projects.List().GetColumnWidth(i), ui::Scale(widths[i], dpi)) << i;
    }
    // Written back when the page goes, in the units they were read in.
    CSettings again;
    for (int i = 0; i < 6; ++i) EXPECT_EQ(again.getInt(keys[i]), widths[i]) << i;

    // The widest width that can be stored stays the widest at any DPI.
    SetDword(L"Software\\Zerudozuz\\Quaylet\\Settings", keys[4], INT_MAX);
    m_settings = std::make_unique<CSettings>();
    g_settings = m_settings.get();
    {
        PageProjects projects(&m_host);
        ASSERT_TRUE(projects.Create(0, 0));
        ASSERT_TRUE(SettleReads(projects));
        EXPECT_GT(projects.List().GetColumnWidth(4), ui::Scale(widths[4], Dpi(projects.Hwnd())));
    }
    CSettings wide;
    EXPECT_GT(wide.getInt(keys[4]), widths[4]);
}

TEST_F(Readable, ColumnWidthsComeBackAsTheyWereLeftInBothLists) {
    // Three pixels in a row meet every rounding of 96-dpi units at 144 and
    // 192 dpi; thirty of them, and some wide ones, in both lists.
    std::vector<int> widths;
    for (int w = 40; w < 70; ++w) widths.push_back(w);
    for (int w : {1001, 4097, 32767, 100003}) widths.push_back(w);
    auto set = [](const ui::ListView& list, int column, int width) {
        LVCOLUMNW col{};
        col.mask = LVCF_WIDTH;
        col.cx = width;
        ASSERT_TRUE(list.Send(LVM_SETCOLUMNW, column, reinterpret_cast<LPARAM>(&col)));
        ASSERT_EQ(list.GetColumnWidth(column), width);
    };
    for (std::size_t first = 0; first < widths.size(); first += 6) {
        const std::size_t count = std::min<std::size_t>(6, widths.size() - first);
        {
            PageProjects projects(&m_host);
            ASSERT_TRUE(projects.Create(0, 0));
            Dpi(projects.Hwnd());
            for (std::size_t i = 0; i < count; ++i)
                set(projects.List(), static_cast<int>(i), widths[first + i]);
        }
        ReopenSettings();
        PageProjects again(&m_host);
        ASSERT_TRUE(again.Create(0, 0));
        for (std::size_t i = 0; i < count; ++i)
            EXPECT_EQ(again.List().GetColumnWidth(static_cast<int>(i)), widths[first + i]) << "projects";
    }
    for (std::size_t first = 0; first < widths.size(); first += 5) {
        const std::size_t count = std::min<std::size_t>(5, widths.size() - first);
        {
            PageConnections connections(&m_host);
            ASSERT_TRUE(connections.Create(0, 0));
            connections.Activate();
            for (std::size_t i = 0; i < count; ++i)
                set(connections.List(), static_cast<int>(i), widths[first + i]);
            connections.Deactivate();
        }
        PageConnections again(&m_host);
        ASSERT_TRUE(again.Create(0, 0));
        for (std::size_t i = 0; i < count; ++i)
            EXPECT_EQ(again.List().GetColumnWidth(static_cast<int>(i)), widths[first + i]) << "connections";
    }
}

// Changes the session's colours, so it runs only in a prefix of its own.
class ReadableOwnPrefix : public Readable {};

TEST_F(ReadableOwnPrefix, DarkSchemeLabelsTakeTheSystemColours) {
    const int which[] = {COLOR_BTNFACE, COLOR_BTNTEXT};
    const COLORREF before[] = {::GetSysColor(COLOR_BTNFACE), ::GetSysColor(COLOR_BTNTEXT)};
    CLabel plain(0, 0), red(0, 1);
    ASSERT_TRUE(plain.Create(L"plain", WS_CHILD | WS_VISIBLE, RECT{0, 0, 100, 20}, m_host.Hwnd(), 0xFFFF));
    ASSERT_TRUE(
        red.Create(L"1.02.03 [1.02.04]", WS_CHILD | WS_VISIBLE, RECT{0, 20, 100, 40}, m_host.Hwnd(), 0xFFFF));
    HDC dc = ::CreateCompatibleDC(nullptr);
    auto request = [&](CLabel& label) {
        const auto brush = reinterpret_cast<HBRUSH>(::SendMessageW(m_host.Hwnd(), WM_CTLCOLORSTATIC,
                                                                   reinterpret_cast<WPARAM>(dc),
                                                                   reinterpret_cast<LPARAM>(label.Hwnd())));
        LOGBRUSH lb{};
        ::GetObjectW(brush, sizeof lb, &lb);
        return std::make_pair(::GetTextColor(dc), lb.lbColor);
    };
    EXPECT_EQ(request(red).first, RGB(255, 0, 0));

    const COLORREF dark[] = {RGB(32, 32, 32), RGB(230, 230, 230)};
    ASSERT_TRUE(::SetSysColors(2, which, dark));
    const auto [plainText, plainFace] = request(plain);
    EXPECT_EQ(plainText, RGB(230, 230, 230));
    EXPECT_EQ(plainFace, RGB(32, 32, 32));
    const auto [redText, redFace] = request(red);
    EXPECT_EQ(redFace, RGB(32, 32, 32)) << "the brush follows the scheme";
    EXPECT_TRUE(ui::ReadableOn(redText, redFace));
    EXPECT_GT(GetRValue(redText), GetGValue(redText) + 100) << "still red";

    ::SetSysColors(2, which, before);
    ::DeleteDC(dc);
}

}  // namespace
