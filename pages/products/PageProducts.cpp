#include "pages/products/PageProducts.h"

#include <commctrl.h>
#include <shellapi.h>

#include <oleacc.h>

#include <algorithm>
#include <climits>
#include <initializer_list>

#include "platform/framework/Process.h"
#include "platform/os/Os.h"
#include "platform/ui/Dpi.h"
#include "platform/ui/Moves.h"
#include "platform/ui/Reads.h"
#include "resources/resource.h"

namespace {

void DestroyControls(RowControls* controls) { delete controls; }

constexpr DWORD kRowTextStyle = WS_CHILD | WS_VISIBLE;
// Between the version and the links of a row, at 96 dpi.
constexpr int kTextGap = 5;
// The widest version text, at 96 dpi: room for two long version numbers; an
// update list that names a longer one does not push the links off the page
// (its tip holds the whole text).
constexpr int kMaxVersionWidth = 200;

// Moves every child of the page by dy pixels in one batch and repaints the
// page. The children are moved here rather than by ScrollWindow's
// SW_SCROLLCHILDREN, which skips a page that is not drawable (hidden behind
// another tab or not yet shown) and would leave the rows out of step with the
// offset.
void MoveChildren(HWND page, int dy) {
    int count = 0;
    for (HWND c = ::GetWindow(page, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT)) ++count;
    {
        ui::BatchedMoves moves(count);
        for (HWND c = ::GetWindow(page, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT)) {
            RECT r{};
            ::GetWindowRect(c, &r);
            ::MapWindowPoints(HWND_DESKTOP, page, reinterpret_cast<POINT*>(&r), 2);
            moves.Move(c, r.left, r.top + dy, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
    }
    ::InvalidateRect(page, nullptr, TRUE);
}

// A control that takes the keyboard focus is scrolled into view. Focus that a
// mouse press gives is left alone: the control is where the user pointed, and
// moving it away under the pointer would cancel the click.
constexpr UINT_PTR kRevealSubclassId = 0x5250;  // 'RP'
int g_mousePressDepth = 0;

LRESULT CALLBACK RevealOnFocus(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR page) {
    switch (msg) {
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
        ++g_mousePressDepth;
        const LRESULT result = ::DefSubclassProc(hwnd, msg, wp, lp);
        --g_mousePressDepth;
        return result;
    }
    case WM_SETFOCUS:
        if (!g_mousePressDepth) reinterpret_cast<PageProducts*>(page)->ScrollIntoView(hwnd);
        break;
    default: break;
    }
    return ::DefSubclassProc(hwnd, msg, wp, lp);
}

void RevealWhenFocused(PageProducts* page, HWND control) {
    if (control)
        ::SetWindowSubclass(control, RevealOnFocus, kRevealSubclassId, reinterpret_cast<DWORD_PTR>(page));
}

}  // namespace

PageProducts::PageProducts(ui::Window* parent) : CSmPage(IDD_PAGE_PRODUCTS, parent) {}

PageProducts::~PageProducts() {
    for (ProductEntry& entry : m_entries) DestroyRowControls(entry);
}

const ui::MessageMap* PageProducts::ThisMessageMap() {
    static const ui::MessageEntry entries[] = {
        ui::OnCommand(IDC_SHOW_INSTALLED_ONLY, BN_CLICKED, &PageProducts::OnShowInstalledOnly),
        ui::OnMessage(WM_VSCROLL, &PageProducts::OnVScroll),
        ui::OnWheel(WM_MOUSEWHEEL, &PageProducts::OnMouseWheel),
        ui::OnMessage(WM_DPICHANGED_AFTERPARENT, &PageProducts::OnDpiChanged),
        ui::OnSignal(WM_SYSCOLORCHANGE, &PageProducts::OnColoursChanged),
        ui::OnSignal(WM_SETTINGCHANGE, &PageProducts::OnColoursChanged),
        ui::OnSignal(WM_THEMECHANGED, &PageProducts::OnColoursChanged),
        ui::OnSignal(ui::kReadsAnswered, &PageProducts::OnReadsAnswered),
    };
    static const ui::MessageMap map(CSmDialog::ThisMessageMap(), entries);
    return &map;
}

void PageProducts::DoDataExchange(ui::DataExchange& dx) { CSmDialog::DoDataExchange(dx); }

BOOL PageProducts::OnInitDialog() {
    CSmDialog::OnInitDialog();
    m_scrollPos = 0;
    m_dpi = ui::DpiOf(m_hwnd);
    m_reads.SetRing(ui::PostReadsAnswered(m_hwnd));
    if (m_tips.Create(m_hwnd)) m_tips.SetMaxWidth(ui::Scale(480, m_dpi));
    for (int i = 0; i < kProductEntryCount; ++i)
        InitEntry(m_entries[i], catalogue::kPageEntries[i].product, catalogue::kPageEntries[i].command);
    // 716 at 96 dpi: all rows, whatever the filter hides.
    m_contentHeight = ui::Scale(kRowTop + kProductEntryCount * kRowHeight, m_dpi);
    RelayoutRows();
    WatchProductKeys();
    // A page created at its final size gets no size change afterwards; without
    // this it would keep the system's default range of 0 to 100.
    SetScrollBar(RangeFor(ClientRect().bottom));
    RevealWhenFocused(this, Item(IDC_SHOW_INSTALLED_ONLY));
    return TRUE;
}

void PageProducts::SetUpdateVersion(const std::wstring& productName, const std::wstring& version) {
    ::SetUpdateVersion(m_entries, productName, version);
}

void PageProducts::RelayoutRows() {
    for (std::size_t i = 0; i < m_entries.size(); ++i) Recheck(i);
    LayOutShownRows();
}

void PageProducts::LayOutShownRows() {
    // Some eighty windows go and come: the page repaints once, at the end,
    // instead of once for each of them.
    const bool redraw = m_hwnd && ::IsWindowVisible(m_hwnd);
    if (redraw) Send(WM_SETREDRAW, FALSE);
    int row = 0;
    for (ProductEntry& entry : m_entries) row += LayoutRow(entry, row);
    AlignLinks();
    m_tips.FollowControls();
    if (redraw) {
        Send(WM_SETREDRAW, TRUE);
        ::RedrawWindow(m_hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_FRAME);
    }
}

RowControls& PageProducts::Controls(ProductEntry& entry) {
    if (!entry.controls)
        entry.controls = RowControlsPtr(new RowControls, RowControlsDeleter{DestroyControls});
    return *entry.controls;
}

RECT PageProducts::Place(int left, int top, int right, int bottom) const {
    RECT r = ui::Scale(RECT{left, top, right, bottom}, m_dpi);
    ::OffsetRect(&r, 0, -m_scrollPos);
    return r;
}

void PageProducts::Describe(HWND control, const std::wstring& name, const std::wstring& tip) {
    if (!control) return;
    // Placed and sized by the page itself when the DPI changes.
    ui::LeaveToOwnerOnDpiChange(control);
    if (!name.empty()) m_names.Set(control, name);
    if (!tip.empty()) m_tips.Add(control, tip);
}

void PageProducts::Forget(HWND control) {
    if (!control) return;
    m_tips.Remove(control);
    m_names.Clear(control);
}

void PageProducts::DestroyRowControls(ProductEntry& entry) {
    if (!entry.controls) return;
    RowControls& c = *entry.controls;
    for (ui::Window* w : std::initializer_list<ui::Window*>{c.iconButton.get(), c.updateLink.get(),
                                                            c.helpLink.get(), c.nameLabel.get(),
                                                            c.descriptionLabel.get(), c.versionLabel.get()})
        if (w) Forget(w->Hwnd());
    c.iconButton.reset();
    c.updateLink.reset();
    c.helpLink.reset();
    c.nameLabel.reset();
    c.descriptionLabel.reset();
    c.versionLabel.reset();
    entry.controls.reset();
}

int PageProducts::LayoutRow(ProductEntry& entry, int rowIndex) {
    DestroyRowControls(entry);
    const RowState state = StateOf(entry);
    // A product not yet known stays in view: it is not known to be missing.
    if (m_showInstalledOnly && state == RowState::Missing) return 0;

    // y is the row's top in 96-dpi content coordinates; Place scales it and
    // puts it where row 0 of the scrolled content is now, so that a relayout
    // while the page is scrolled keeps the rows in line with the check box.
    // The controls are made in tab order.
    const int y = kRowTop + kRowHeight * rowIndex;
    CreateIconButton(entry, y, state);
    CreateRowLabels(entry, y);
    if (state == RowState::Found) {
        CreateVersionLabel(entry, y);
    } else {
        if (state == RowState::Missing) CreateUpdateLink(entry, y, false);
    }
    CreateHelpLink(entry, y);
    FitTexts(Controls(entry), y);
    return 1;
}

void PageProducts::CreateIconButton(ProductEntry& entry, int y, RowState state) {
    RowControls& c = Controls(entry);
    c.iconButton = std::make_unique<ui::Window>();
    if (!c.iconButton->CreateControl(L"BUTTON", L"NULL",
                                     WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_FLAT | BS_ICON,
                                     Place(8, y, 58, y + 48), m_hwnd, static_cast<UINT>(entry.commandId)))
        return;
    ui::Icon& icon = m_icons[entry.commandId];
    if (!icon) icon = ui::LoadIconForDpi(ui::ResourceModule(), entry.commandId, m_dpi);
    if (icon) c.iconButton->Send(BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(icon.Get()));
    // The button's text is never shown; these say what it does.
    const std::wstring product = L"Zelto " + entry.name;
    const ProgramCheck& check = m_checks[IndexOf(entry)];
    if (state == RowState::Found) {
        std::wstring tip = product + L"\n" + entry.exePath;
        if (check.noAnswer || check.versionNoAnswer) tip += L"\nIts folder does not answer now.";
        Describe(c.iconButton->Hwnd(), L"Start " + product, tip);
        RevealWhenFocused(this, c.iconButton->Hwnd());
        return;
    }
    // Only a program that is there can be started. Greyed, it starts
    // nothing; disabled before its tip is given, which then watches the page
    // under it.
    ::EnableWindow(c.iconButton->Hwnd(), FALSE);
    if (state == RowState::Unknown) {
        const wchar_t* const why =
            check.noAnswer ? L"its folder does not answer" : L"looking for the program";
        Describe(c.iconButton->Hwnd(), product + L", " + why,
                 product + L"\n" + check.path + L"\n" +
                     (check.noAnswer ? L"Its folder does not answer." : L"Looking for the program..."));
    } else {
        Describe(c.iconButton->Hwnd(), product + L", not installed", product + L"\nnot installed");
    }
    RevealWhenFocused(this, c.iconButton->Hwnd());
}

void PageProducts::CreateRowLabels(ProductEntry& entry, int y) {
    RowControls& c = Controls(entry);
    c.nameLabel = std::make_unique<CLabel>(1, 0);
    c.nameLabel->Create(entry.name.c_str(), kRowTextStyle, Place(68, y + 2, 428, y + 48), m_hwnd,
                        kRowControlId);
    Describe(c.nameLabel->Hwnd());

    c.descriptionLabel = std::make_unique<CLabel>(0, 0);
    c.descriptionLabel->Create(entry.description.c_str(), kRowTextStyle, Place(73, y + 23, 675, y + 50),
                               m_hwnd, kRowControlId);
    Describe(c.descriptionLabel->Hwnd());
}

void PageProducts::CreateVersionLabel(ProductEntry& entry, int y) {
    // The version known for the file as it was last found; a version not yet
    // read shows when its read answers.
    const ProgramCheck& check = m_checks[IndexOf(entry)];
    if (!check.facts) return;
    const std::optional<os::FixedVersion> version = m_versions.Find(check.path, *check.facts);
    if (!version) return;
    const std::optional<std::wstring> installed = FormatProductVersion(*version);
    const VersionDisplay display = MakeVersionDisplay(*installed, entry.updateVersion);
    if (display.updateAvailable) CreateUpdateLink(entry, y, true);
    RowControls& c = Controls(entry);
    c.versionLabel = std::make_unique<CLabel>(0, display.updateAvailable ? 1 : 0);
    c.versionLabel->Create(display.text.c_str(), kRowTextStyle, Place(295, y + 5, 375, y + 20), m_hwnd,
                           kRowControlId);
    // The tip says in words what the two numbers are.
    std::wstring tip = L"Installed version " + *installed;
    if (display.updateAvailable) tip += L"\nNewer version " + entry.updateVersion;
    Describe(c.versionLabel->Hwnd(), L"", tip);
}

void PageProducts::CreateHelpLink(ProductEntry& entry, int y) {
    RowControls& c = Controls(entry);
    c.helpLink = std::make_unique<CUrlStatic>();
    c.helpLink->Create(L"Online Help", kRowTextStyle, Place(380, y + 5, 440, y + 20), m_hwnd, kRowControlId);
    c.helpLink->SetURL(g_siteBase + entry.helpPath);
    RevealWhenFocused(this, c.helpLink->Hwnd());
    Describe(c.helpLink->Hwnd(), L"Online Help for " + entry.name, c.helpLink->URL());
    m_names.SetRole(c.helpLink->Hwnd(), ROLE_SYSTEM_LINK);
}

void PageProducts::CreateUpdateLink(ProductEntry& entry, int y, bool isUpdate) {
    RowControls& c = Controls(entry);
    const wchar_t* text = isUpdate ? L"Update" : L"Download";
    c.updateLink = std::make_unique<CUrlStatic>();
    c.updateLink->Create(text, kRowTextStyle, Place(450, y + 5, 500, y + 20), m_hwnd, kRowControlId);
    c.updateLink->SetURL(g_siteBase + L"login.html");
    Describe(c.updateLink->Hwnd(), std::wstring(text) + L" " + entry.name, c.updateLink->URL());
    m_names.SetRole(c.updateLink->Hwnd(), ROLE_SYSTEM_LINK);
    RevealWhenFocused(this, c.updateLink->Hwnd());
}

void PageProducts::FitTexts(RowControls& c, int y) {
    // Each text is as wide as the font in use draws it: the user's font, or
    // the one that stands in for the dialog's, may be wider than the rows were
    // drawn for. Each starts where the row puts it, or just after the text
    // before it when that one needs the room, so that none is cut and none
    // covers another.
    const int gap = ui::Scale(kTextGap, m_dpi);
    LONG end = LONG_MIN;  // the right edge of the text before, in page pixels
    const auto fit = [&](HWND control, SIZE text, int left) {
        RECT r = Place(left, y + 5, left, y + 20);
        if (end != LONG_MIN) r.left = std::max(r.left, end + gap);
        r.right = r.left + text.cx;
        r.bottom = std::max(r.bottom, r.top + text.cy);
        ::SetWindowPos(control, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                       SWP_NOZORDER | SWP_NOACTIVATE);
        end = r.right;
    };
    if (c.versionLabel && c.versionLabel->Hwnd()) {
        SIZE text = c.versionLabel->TextExtent();
        text.cx = std::min<LONG>(text.cx, ui::Scale(kMaxVersionWidth, m_dpi));
        fit(c.versionLabel->Hwnd(), text, 295);
    }
    if (c.helpLink && c.helpLink->Hwnd()) fit(c.helpLink->Hwnd(), c.helpLink->IdealSize(), 380);
    if (c.updateLink && c.updateLink->Hwnd()) fit(c.updateLink->Hwnd(), c.updateLink->IdealSize(), 450);
}

void PageProducts::AlignLinks() {
    // The links of all rows stand in one column each, as far right as the
    // row that needs the most room has them.
    const auto moveTo = [this](CUrlStatic* link, LONG left) {
        if (!link || !link->Hwnd()) return;
        const RECT r = ChildRect(link->Hwnd());
        ::SetWindowPos(link->Hwnd(), nullptr, left, r.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    };
    LONG help = LONG_MIN, update = LONG_MIN;
    for (const ProductEntry& entry : m_entries)
        if (entry.controls && entry.controls->helpLink && entry.controls->helpLink->Hwnd())
            help = std::max(help, ChildRect(entry.controls->helpLink->Hwnd()).left);
    for (const ProductEntry& entry : m_entries) {
        if (!entry.controls) continue;
        moveTo(entry.controls->helpLink.get(), help);
        if (!entry.controls->updateLink || !entry.controls->updateLink->Hwnd()) continue;
        LONG left = ChildRect(entry.controls->updateLink->Hwnd()).left;
        if (entry.controls->helpLink && entry.controls->helpLink->Hwnd())
            left = std::max(left,
                            ChildRect(entry.controls->helpLink->Hwnd()).right + ui::Scale(kTextGap, m_dpi));
        update = std::max(update, left);
    }
    for (const ProductEntry& entry : m_entries)
        if (entry.controls) moveTo(entry.controls->updateLink.get(), update);
}

void PageProducts::OnShowInstalledOnly() {
    const int state = static_cast<int>(::SendMessageW(Item(IDC_SHOW_INSTALLED_ONLY), BM_GETCHECK, 0, 0));
    if (state == m_showInstalledOnly) return;
    m_showInstalledOnly = state;
    RelayoutRows();
}

BOOL PageProducts::OnCommand(WPARAM wParam, LPARAM lParam) {
    // The whole wParam: a product command has notification code 0 (BN_CLICKED).
    if (wParam <= 0xFFFF) {
        if (const std::optional<int> position =
                catalogue::PagePositionFromCommand(static_cast<int>(wParam))) {
            LaunchEntry(*position);
            return TRUE;
        }
    }
    return CSmDialog::OnCommand(wParam, lParam);
}

void PageProducts::LaunchEntry(int position) {
    if (position < 0 || position >= kProductEntryCount) return;
    const ProductEntry& entry = m_entries[position];
    if (entry.exePath.empty()) return;
    ::ShellExecuteW(m_hwnd, L"open", entry.exePath.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

int PageProducts::RangeFor(int clientHeight) const { return std::max(0, m_contentHeight - clientHeight); }

void PageProducts::OnSize(UINT type, int cx, int cy) {
    CSmDialog::OnSize(type, cx, cy);
    m_clientHeight = cy;
    // The page scrolls whenever its rows reach below its bottom, so that every
    // product can be seen and started at any size.
    const int range = RangeFor(cy);
    // Content scrolled beyond the new range comes back, so that the thumb and
    // the rows always agree.
    if (m_scrollPos > range) {
        const int back = m_scrollPos - range;
        m_scrollPos = range;
        MoveChildren(m_hwnd, back);
        m_tips.FollowControls();
    }
    SetScrollBar(range);
}

void PageProducts::SetScrollBar(int range) {
    m_scrollRange = range;
    SCROLLINFO si{};
    si.cbSize = sizeof si;
    si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL;
    si.nMin = 0;
    // The thumb's largest position is nMax - nPage + 1; with nMax = range +
    // nPage - 1 it is the range itself, where the steps end too.
    si.nPage = range > 0 ? static_cast<UINT>(std::max(1, range / 10)) : 0;
    si.nMax = range > 0 ? range + static_cast<int>(si.nPage) - 1 : 0;
    si.nPos = m_scrollPos;
    ::SetScrollInfo(m_hwnd, SB_VERT, &si, TRUE);
}

void PageProducts::ScrollTo(int pos) {
    pos = std::clamp(pos, 0, m_scrollRange);
    const int d = pos - m_scrollPos;
    if (!d) return;
    m_scrollPos = pos;
    ::SetScrollPos(m_hwnd, SB_VERT, m_scrollPos, TRUE);
    MoveChildren(m_hwnd, -d);
    m_tips.FollowControls();
}

void PageProducts::ScrollIntoView(HWND child) {
    if (!m_hwnd || !child || ::GetParent(child) != m_hwnd) return;
    const RECT r = ChildRect(child);
    // In content pixels at m_dpi; the rows are measured at 96 dpi.
    int top = r.top + m_scrollPos, bottom = r.bottom + m_scrollPos;
    if (const int top96 = ui::Unscale(top, m_dpi); top96 >= kRowTop) {
        // A row's control brings its whole row into view.
        const int row = (top96 - kRowTop) / kRowHeight;
        top = ui::Scale(kRowTop + row * kRowHeight, m_dpi);
        bottom = std::max(bottom, ui::Scale(kRowTop + (row + 1) * kRowHeight, m_dpi));
    } else {
        top = 0;  // the check box above the rows: the top of the page
    }
    const int height = ClientRect().bottom;
    int pos = m_scrollPos;
    if (bottom > pos + height) pos = bottom - height;
    if (top < pos) pos = top;
    ScrollTo(pos);
}

bool PageProducts::OnMouseWheel(UINT, int delta, POINT) {
    // Fine-grained wheels send parts of a notch: they add up, and a turn the
    // other way starts afresh.
    if ((delta > 0) != (m_wheelDelta > 0)) m_wheelDelta = 0;
    m_wheelDelta += delta;
    const int notches = m_wheelDelta / WHEEL_DELTA;
    m_wheelDelta -= notches * WHEEL_DELTA;
    UINT lines = 3;
    ::SystemParametersInfoW(SPI_GETWHEELSCROLLLINES, 0, &lines, 0);
    const int perNotch =
        lines == WHEEL_PAGESCROLL ? m_contentHeight / 10 : static_cast<int>(lines) * (m_contentHeight / 100);
    ScrollTo(m_scrollPos - notches * perNotch);
    return true;
}

bool PageProducts::OnVScroll(ui::Message& m) {
    const int line = m_contentHeight / 100, page = m_contentHeight / 10;
    int target = m_scrollPos;
    switch (LOWORD(m.wParam)) {
    case SB_LINEUP: target -= line; break;
    case SB_LINEDOWN: target += line; break;
    case SB_PAGEUP: target -= page; break;
    case SB_PAGEDOWN: target += page; break;
    // A posted position outside the range is held at its ends, as every step is.
    case SB_THUMBPOSITION: target = static_cast<int>(HIWORD(m.wParam)); break;
    default: return true;
    }
    if (std::clamp(target, 0, m_scrollRange) == m_scrollPos) return true;
    ScrollTo(target);
    return true;
}

bool PageProducts::OnDpiChanged(ui::Message&) {
    const UINT dpi = ui::DpiOf(m_hwnd);
    if (!m_hwnd || dpi == m_dpi) return false;
    // Everything placed in pixels follows the new DPI: the scrolled offset and
    // the heights keep their proportion, the rows, fonts and icons are made
    // again for it.
    const UINT old = m_dpi;
    m_dpi = dpi;
    m_scrollPos = ::MulDiv(m_scrollPos, static_cast<int>(dpi), static_cast<int>(old));
    m_contentHeight = ui::Scale(kRowTop + kProductEntryCount * kRowHeight, m_dpi);
    m_tips.SetMaxWidth(ui::Scale(480, m_dpi));
    // The old pictures are kept until the buttons that show them are gone.
    const std::map<int, ui::Icon> shown = std::move(m_icons);
    m_icons.clear();
    RelayoutRows();
    const RECT client = ClientRect();
    OnSize(SIZE_RESTORED, client.right, client.bottom);
    return false;
}

void PageProducts::OnColoursChanged() {
    // Labels and links pick their colours at every paint; they only need one.
    ::RedrawWindow(m_hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    Decline();  // the base and the default procedure have it too
}
