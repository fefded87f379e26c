#include "platform/ui/Accessibility.h"

#include <oleacc.h>

#include <algorithm>

namespace ui {

namespace {

// The annotation's identifiers, defined here rather than through a GUID
// library, which would bring every other identifier of the header along.
constexpr GUID kClsidAccPropServices = {
    0xb5f8350b, 0x0548, 0x48b1, {0xa6, 0xee, 0x88, 0xbd, 0x00, 0xb4, 0xa5, 0xe7}};
constexpr GUID kIidAccPropServices = {
    0x6e26e776, 0x04f0, 0x495d, {0x80, 0xe4, 0x33, 0x30, 0x35, 0x2e, 0x31, 0x69}};
constexpr GUID kPropIdAccName = {
    0x608d3df8, 0x8128, 0x4aa7, {0xa4, 0x28, 0xf5, 0x5e, 0x49, 0x26, 0x72, 0x91}};
constexpr GUID kPropIdAccRole = {
    0xcb905ff2, 0x7bd1, 0x4c05, {0xb3, 0xc8, 0xe6, 0xc2, 0x41, 0x36, 0x4d, 0x70}};

}  // namespace

AccessibleNames::~AccessibleNames() {
    if (m_services) m_services->Release();
}

IAccPropServices* AccessibleNames::Services() {
    if (!m_tried) {
        m_tried = true;
        void* services = nullptr;
        if (SUCCEEDED(::CoCreateInstance(kClsidAccPropServices, nullptr, CLSCTX_INPROC_SERVER,
                                         kIidAccPropServices, &services)))
            m_services = static_cast<IAccPropServices*>(services);
    }
    return m_services;
}

bool AccessibleNames::Set(HWND hwnd, const std::wstring& name, LONG child) {
    IAccPropServices* services = hwnd ? Services() : nullptr;
    return services &&
           SUCCEEDED(services->SetHwndPropStr(hwnd, static_cast<DWORD>(OBJID_CLIENT),
                                              static_cast<DWORD>(child), kPropIdAccName, name.c_str()));
}

bool AccessibleNames::SetRole(HWND hwnd, LONG role) {
    IAccPropServices* services = hwnd ? Services() : nullptr;
    VARIANT value;
    ::VariantInit(&value);
    value.vt = VT_I4;
    value.lVal = role;
    return services && SUCCEEDED(services->SetHwndProp(hwnd, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF,
                                                       kPropIdAccRole, value));
}

void AccessibleNames::Clear(HWND hwnd, LONG child) {
    if (!hwnd || !m_services) return;
    const MSAAPROPID props[] = {kPropIdAccName, kPropIdAccRole};
    m_services->ClearHwndProps(hwnd, static_cast<DWORD>(OBJID_CLIENT), static_cast<DWORD>(child), props, 2);
}

ToolTips::~ToolTips() {
    if (m_hwnd) ::DestroyWindow(m_hwnd);
}

bool ToolTips::Create(HWND owner) {
    if (m_hwnd) return true;
    m_owner = owner;
    m_hwnd = ::CreateWindowExW(
        WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
        CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, owner, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    return m_hwnd != nullptr;
}

namespace {

// Whether the mouse over `control` reaches the control itself rather than its parent.
bool TakesTheMouse(HWND control) {
    if (!::IsWindowEnabled(control)) return false;
    wchar_t cls[16] = {};
    ::GetClassNameW(control, cls, 16);
    return ::lstrcmpiW(cls, L"Static") != 0 || (::GetWindowLongPtrW(control, GWL_STYLE) & SS_NOTIFY) != 0;
}

}  // namespace

TTTOOLINFOW ToolTips::Info(const Tool& tool) const {
    TTTOOLINFOW info{};
    info.cbSize = sizeof info;
    info.uFlags = TTF_SUBCLASS | (tool.byRectangle ? 0u : static_cast<UINT>(TTF_IDISHWND));
    info.hwnd = m_owner;
    info.uId = reinterpret_cast<UINT_PTR>(tool.control);
    if (tool.byRectangle) {
        ::GetWindowRect(tool.control, &info.rect);
        ::MapWindowPoints(HWND_DESKTOP, m_owner, reinterpret_cast<POINT*>(&info.rect), 2);
    }
    return info;
}

std::vector<ToolTips::Tool>::iterator ToolTips::Find(HWND control) {
    return std::find_if(m_tools.begin(), m_tools.end(),
                        [control](const Tool& t) { return t.control == control; });
}

bool ToolTips::Add(HWND control, const std::wstring& text) {
    if (!m_hwnd || !control) return false;
    Remove(control);
    const Tool tool{control, !TakesTheMouse(control)};
    TTTOOLINFOW info = Info(tool);
    info.lpszText = const_cast<wchar_t*>(text.c_str());  // the control keeps its own copy
    if (!::SendMessageW(m_hwnd, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info))) return false;
    m_tools.push_back(tool);
    return true;
}

void ToolTips::Remove(HWND control) {
    if (!m_hwnd || !control) return;
    const auto it = Find(control);
    if (it == m_tools.end()) return;
    TTTOOLINFOW info = Info(*it);
    m_tools.erase(it);
    ::SendMessageW(m_hwnd, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&info));
}

bool ToolTips::Has(HWND control) const {
    return std::any_of(m_tools.begin(), m_tools.end(),
                       [control](const Tool& t) { return t.control == control; });
}

void ToolTips::FollowControls() {
    if (!m_hwnd) return;
    for (const Tool& tool : m_tools) {
        if (!tool.byRectangle) continue;
        TTTOOLINFOW info = Info(tool);
        ::SendMessageW(m_hwnd, TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&info));
    }
}

void ToolTips::SetMaxWidth(int pixels) {
    if (m_hwnd) ::SendMessageW(m_hwnd, TTM_SETMAXTIPWIDTH, 0, pixels);
}

}  // namespace ui
