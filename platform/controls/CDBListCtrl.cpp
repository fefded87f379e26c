#include "platform/controls/CDBListCtrl.h"

#include <vector>

int CDBListCtrl::GetColumnFormat(int index) const {
    LVCOLUMNW col{};
    col.mask = LVCF_FMT;
    if (!Send(LVM_GETCOLUMNW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&col))) return -1;
    return col.fmt & LVCFMT_JUSTIFYMASK;
}

std::wstring CDBListCtrl::GetColumnTitle(int index) const {
    std::vector<wchar_t> buffer(512, L'\0');
    LVCOLUMNW col{};
    col.mask = LVCF_TEXT;
    col.pszText = buffer.data();
    col.cchTextMax = static_cast<int>(buffer.size() - 1);
    if (!Send(LVM_GETCOLUMNW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&col))) return {};
    return col.pszText ? std::wstring(col.pszText) : std::wstring();
}

RECT CDBListCtrl::GetItemRect(int index) const {
    RECT rect{};
    rect.left = LVIR_BOUNDS;
    if (!Send(LVM_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&rect))) return RECT{};
    return rect;
}
