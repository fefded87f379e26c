#include "platform/framework/CSmDialog.h"

#include <utility>

#include "platform/services/CSysReg.h"
#include "platform/ui/Dpi.h"
#include "platform/ui/Reads.h"

CSmDialog::CSmDialog(UINT templateId, ui::Window* parent) : ui::Dialog(templateId, parent) {}

CSmDialog::~CSmDialog() = default;

const ui::MessageMap* CSmDialog::ThisMessageMap() {
    static const ui::MessageEntry entries[] = {
        ui::OnSize(&CSmDialog::OnSizeMsg),
        ui::OnMessage(WM_GETMINMAXINFO, &CSmDialog::OnGetMinMaxInfo),
        ui::OnSignal(WM_SYSCOMMAND, &CSmDialog::OnSysCommandMsg),
        ui::OnMessage(WM_DPICHANGED, &CSmDialog::OnDpiChangedMsg),
        ui::OnMessage(WM_DPICHANGED_AFTERPARENT, &CSmDialog::OnDpiChangedMsg),
        ui::OnMessage(WM_SYSCOLORCHANGE, &CSmDialog::OnSchemeChangedMsg),
        ui::OnMessage(WM_SETTINGCHANGE, &CSmDialog::OnSchemeChangedMsg),
        ui::OnSignal(ui::kChangesSeen, &CSmDialog::OnChangesSeen),
    };
    static const ui::MessageMap map(ui::Dialog::ThisMessageMap(), entries);
    return &map;
}

bool CSmDialog::Create(int x, int y) {
    if (!CreateModeless()) return false;
    ::SetWindowPos(m_hwnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    return true;
}

void CSmDialog::Deactivate() {
    if (m_hwnd) ::ShowWindow(m_hwnd, SW_HIDE);
}

void CSmDialog::Activate() {
    if (m_hwnd) ::ShowWindow(m_hwnd, SW_SHOW);
}

BOOL CSmDialog::OnIdle(LONG) { return FALSE; }
BOOL CSmDialog::OnToolTipText(UINT, NMHDR*, LRESULT*) { return FALSE; }

void CSmDialog::SetMinSizes(int w, int h) { m_minSize = {w, h}; }

void CSmDialog::SetRegistryObject(std::unique_ptr<CSysReg> reg) { m_sysReg = std::move(reg); }

BOOL CSmDialog::OnInitDialog() {
    m_dpi = ui::DpiOf(m_hwnd);
    return TRUE;
}

SIZE CSmDialog::MinSize() const {
    const UINT dpi = ui::DpiOf(m_hwnd);
    return SIZE{ui::Scale(m_minSize.cx, dpi), ui::Scale(m_minSize.cy, dpi)};
}

bool CSmDialog::OnDpiChangedMsg(ui::Message& m) {
    const UINT dpi = m.msg == WM_DPICHANGED ? LOWORD(m.wParam) : ui::DpiOf(m_hwnd);
    RescaleAnchors(m_dpi, dpi);
    m_dpi = dpi;
    if (m.msg == WM_DPICHANGED && m.lParam) {
        // The size and place the system suggests keep the window where the user put it.
        const RECT& r = *reinterpret_cast<const RECT*>(m.lParam);
        ::SetWindowPos(m_hwnd, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                       SWP_NOZORDER | SWP_NOACTIVATE);
    }
    // A size change that came before (a page is sized by its parent first)
    // or none at all (the same size) left the children at the old anchors.
    if (!::IsIconic(m_hwnd)) {
        const RECT client = ClientRect();
        RepositionControls(client.right, client.bottom);
    }
    return false;  // the dialog manager scales the template's controls and fonts
}

bool CSmDialog::OnSchemeChangedMsg(ui::Message& m) {
    // Only top-level windows hear of colour and setting changes; the pages
    // and their common controls need them too. (A theme change reaches every
    // window from the system itself.)
    for (HWND c = ::GetWindow(m_hwnd, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT))
        ::SendMessageW(c, m.msg, m.wParam, m.lParam);
    return false;
}
void CSmDialog::DoDataExchange(ui::DataExchange&) {}

void CSmDialog::OnSize(UINT type, int cx, int cy) {
    if (type != SIZE_MINIMIZED) RepositionControls(cx, cy);
}

void CSmDialog::OnSizeMsg(UINT type, int cx, int cy) {
    if (type == SIZE_RESTORED && m_keepMaximized) {
        // A dialog manager may show the dialog "normal" once its queue first
        // runs dry, after the stored placement maximised it; that restore is
        // the only one the user did not ask for, and it is undone.
        m_keepMaximized = false;
        ::PostMessageW(m_hwnd, WM_SYSCOMMAND, SC_MAXIMIZE, 0);
    }
    OnSize(type, cx, cy);
}

void CSmDialog::OnSysCommandMsg() {
    // Whatever the user does to the window's state from here on stands.
    m_keepMaximized = false;
    Decline();
}

bool CSmDialog::OnGetMinMaxInfo(ui::Message& m) {
    if (m_minSize.cx <= 0 && m_minSize.cy <= 0) return false;
    auto* info = reinterpret_cast<MINMAXINFO*>(m.lParam);
    const SIZE min = MinSize();
    if (info->ptMinTrackSize.x < min.cx) info->ptMinTrackSize.x = min.cx;
    if (info->ptMinTrackSize.y < min.cy) info->ptMinTrackSize.y = min.cy;
    m.result = 0;
    return true;
}

bool PlacementFits(const RECT& normal, SIZE minSize, const RECT& monitor, const RECT& work) {
    const long w = normal.right - normal.left, h = normal.bottom - normal.top;
    if (w < minSize.cx || h < minSize.cy || w > 32000 || h > 32000) return false;
    // The stored rectangle counts from the work area's corner, which lies
    // beside a taskbar on the top or left edge: move it into the monitor's
    // coordinates before comparing it with the work area.
    RECT screen = normal;
    ::OffsetRect(&screen, work.left - monitor.left, work.top - monitor.top);
    const RECT caption{screen.left, screen.top, screen.right, screen.top + 30};
    RECT visible{};
    return ::IntersectRect(&visible, &caption, &work) && visible.right - visible.left >= 100 &&
           visible.bottom - visible.top >= 20;
}

namespace {

// A stored placement is used only when it is whole, sane and at least partly
// on a monitor with enough of its caption visible to be grabbed.
bool UsablePlacement(const WINDOWPLACEMENT& wp, SIZE minSize) {
    if (wp.length != sizeof(WINDOWPLACEMENT)) return false;
    const RECT& r = wp.rcNormalPosition;
    const RECT caption{r.left, r.top, r.right, r.top + 30};
    HMONITOR monitor = ::MonitorFromRect(&caption, MONITOR_DEFAULTTONEAREST);
    MONITORINFO mi{};
    mi.cbSize = sizeof mi;
    if (!monitor || !::GetMonitorInfoW(monitor, &mi)) return false;
    return PlacementFits(r, minSize, mi.rcMonitor, mi.rcWork);
}

}  // namespace

int CSmDialog::Load() {
    if (!m_hwnd || m_name.empty()) return 0;
    CSysReg reg;
    const auto data = reg.GetBinary(m_name, sizeof(WINDOWPLACEMENT));
    if (!data || data->size() != sizeof(WINDOWPLACEMENT)) return 0;
    WINDOWPLACEMENT wp{};
    memcpy(&wp, data->data(), sizeof wp);
    if (!UsablePlacement(wp, MinSize())) return 0;
    // Never come back minimised or hidden.
    const bool maximized = wp.showCmd == SW_SHOWMAXIMIZED || wp.showCmd == SW_MAXIMIZE;
    wp.showCmd = maximized ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL;
    wp.flags = 0;
    if (!::SetWindowPlacement(m_hwnd, &wp)) return 0;
    m_keepMaximized = maximized;
    return 1;
}

int CSmDialog::Save() {
    if (!m_hwnd || m_name.empty()) return 0;
    WINDOWPLACEMENT wp{};
    wp.length = sizeof wp;
    if (!::GetWindowPlacement(m_hwnd, &wp)) return 0;
    CSysReg reg;
    return reg.SetBinary(m_name, &wp, sizeof wp) ? 1 : 0;
}

void CSmDialog::OnChangesSeen() { Refresh(); }

namespace {

// How often a held apply looks whether the pointer has let go.
constexpr UINT_PTR kPointerTimer = 0x5F05;
constexpr UINT kPointerPollMs = 100;

bool PointerHeldOn(HWND control) {
    if (!control || (::GetKeyState(VK_LBUTTON) >= 0 && ::GetKeyState(VK_RBUTTON) >= 0)) return false;
    HWND capture = ::GetCapture();
    if (capture && (capture == control || ::IsChild(control, capture))) return true;
    POINT pt{};
    RECT rect{};
    return ::GetCursorPos(&pt) && ::GetWindowRect(control, &rect) && ::PtInRect(&rect, pt);
}

}  // namespace

void CSmDialog::ApplyWhenPointerFree(HWND control, std::function<void()> apply) {
    if (m_heldApplies.empty() && !PointerHeldOn(control)) {
        apply();
        return;
    }
    m_heldControl = control;
    m_heldApplies.push_back(std::move(apply));
    // A timer of its own procedure: a page's own timer handlers never take it.
    ::SetTimer(m_hwnd, kPointerTimer, kPointerPollMs, &CSmDialog::PointerTimerProc);
}

void CALLBACK CSmDialog::PointerTimerProc(HWND hwnd, UINT, UINT_PTR, DWORD) {
    if (auto* dialog = dynamic_cast<CSmDialog*>(ui::Window::FromHandle(hwnd))) dialog->OnPointerTimer();
}

void CSmDialog::OnPointerTimer() {
    if (PointerHeldOn(m_heldControl)) return;
    ::KillTimer(m_hwnd, kPointerTimer);
    for (auto applies = std::exchange(m_heldApplies, {}); auto& apply : applies) apply();
}
