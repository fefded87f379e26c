#include "platform/ui/Controls.h"

#include <vector>

namespace ui {

std::wstring TabCtrl::GetItemText(int index) const {
    wchar_t buffer[256] = {};
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = buffer;
    item.cchTextMax = 256;
    if (!Send(TCM_GETITEMW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item))) return {};
    return buffer;
}

std::wstring ComboBox::GetItemText(int index) const {
    const LRESULT length = Send(CB_GETLBTEXTLEN, static_cast<WPARAM>(index));
    if (length == CB_ERR) return {};
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    Send(CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(length));
    return text;
}

int ListView::InsertColumn(int index, const wchar_t* title, int format, int width) const {
    LVCOLUMNW col{};
    col.mask = LVCF_TEXT | LVCF_FMT | LVCF_WIDTH | LVCF_SUBITEM;
    col.fmt = format;
    col.cx = width;
    col.pszText = const_cast<wchar_t*>(title);
    col.iSubItem = index;
    return static_cast<int>(
        Send(LVM_INSERTCOLUMNW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&col)));
}

int ListView::InsertRow(LVITEMW item, int index, const std::wstring& text) const {
    item.mask |= LVIF_TEXT;
    item.iItem = index;
    item.pszText = const_cast<wchar_t*>(text.c_str());
    return static_cast<int>(Send(LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
}

int ListView::InsertItem(int index, const std::wstring& text, int image) const {
    LVITEMW item{};
    item.mask = LVIF_IMAGE;
    item.iImage = image;
    return InsertRow(item, index, text);
}

int ListView::InsertItemWithData(int index, const std::wstring& text, LPARAM data) const {
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.lParam = data;
    return InsertRow(item, index, text);
}

bool ListView::SetItemText(int index, int column, const std::wstring& text) const {
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = const_cast<wchar_t*>(text.c_str());
    return Send(LVM_SETITEMTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item)) != 0;
}

std::wstring ListView::GetItemText(int index, int column) const {
    // Grow until the text fits: the control reports how many characters it copied.
    for (size_t size = 256;; size *= 4) {
        std::vector<wchar_t> buffer(size, L'\0');
        LVITEMW item{};
        item.iSubItem = column;
        item.pszText = buffer.data();
        item.cchTextMax = static_cast<int>(size);
        const auto got = static_cast<size_t>(
            Send(LVM_GETITEMTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item)));
        if (got + 1 < size || size >= 65536) return std::wstring(buffer.data(), got < size ? got : size - 1);
    }
}

LPARAM ListView::GetItemData(int index) const {
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = index;
    return Send(LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)) ? item.lParam : 0;
}

bool ListView::SetItemData(int index, LPARAM data) const {
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = index;
    item.lParam = data;
    return Send(LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item)) != 0;
}

void ListView::Select(int index) const {
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    Send(LVM_SETITEMSTATE, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
}

int ListView::GetItemImage(int index) const {
    LVITEMW item{};
    item.mask = LVIF_IMAGE;
    item.iItem = index;
    return Send(LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)) ? item.iImage : -1;
}

int ListView::GetColumnCount() const {
    HWND header = GetHeader();
    return header ? static_cast<int>(::SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
}

std::wstring TreeView::GetItemText(HTREEITEM handle) const {
    wchar_t buffer[MAX_PATH + 1] = {};
    TVITEMW item{};
    item.mask = TVIF_TEXT;
    item.hItem = handle;
    item.pszText = buffer;
    item.cchTextMax = MAX_PATH;
    if (!Send(TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) return {};
    return buffer;
}

HTREEITEM TreeView::InsertItem(HTREEITEM parent, const std::wstring& text, int image, int children,
                               LPARAM data, HTREEITEM after) const {
    TVINSERTSTRUCTW ins{};
    ins.hParent = parent ? parent : TVI_ROOT;
    ins.hInsertAfter = after;
    ins.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM | TVIF_CHILDREN;
    ins.item.pszText = const_cast<wchar_t*>(text.c_str());
    ins.item.iImage = ins.item.iSelectedImage = image;
    ins.item.cChildren = children;
    ins.item.lParam = data;
    return reinterpret_cast<HTREEITEM>(Send(TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&ins)));
}

bool TreeView::SetItemText(HTREEITEM item, const std::wstring& text) const {
    TVITEMW update{};
    update.mask = TVIF_HANDLE | TVIF_TEXT;
    update.hItem = item;
    update.pszText = const_cast<wchar_t*>(text.c_str());
    return Send(TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&update)) != 0;
}

bool TreeView::SetImageAndChildren(HTREEITEM item, int image, int children) const {
    TVITEMW update{};
    update.mask = TVIF_HANDLE | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_CHILDREN;
    update.hItem = item;
    update.iImage = update.iSelectedImage = image;
    update.cChildren = children;
    return Send(TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&update)) != 0;
}

}  // namespace ui
