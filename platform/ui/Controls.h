// Standard and common controls with a typed method per message. A control is
// a window: attached (Attach, or made from a handle) it only names the control
// and never destroys it; bound (Subclass, CreateControl) it also has a message
// map, typed handlers and its own notifications reflected back to it.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cassert>
#include <string>

#include "platform/ui/Window.h"

namespace ui {

class Control : public Window {
public:
    Control() = default;
    explicit Control(HWND hwnd) { m_hwnd = hwnd; }
    // Names a control without binding it; an object bound to a window keeps it.
    void Attach(HWND hwnd) {
        assert(!m_bound);
        if (!m_bound) m_hwnd = hwnd;
    }
};

class Button : public Control {
public:
    using Control::Control;
    int GetCheck() const { return static_cast<int>(Send(BM_GETCHECK)); }
    void SetCheck(int state) const { Send(BM_SETCHECK, static_cast<WPARAM>(state)); }
    void SetIcon(HICON icon) const { Send(BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(icon)); }
    HICON GetIcon() const { return reinterpret_cast<HICON>(Send(BM_GETIMAGE, IMAGE_ICON)); }
    void Click() const { Send(BM_CLICK); }
};

class TabCtrl : public Control {
public:
    using Control::Control;
    int InsertItem(int index, const wchar_t* text) const {
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<wchar_t*>(text);
        return static_cast<int>(
            Send(TCM_INSERTITEMW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item)));
    }
    int GetCurSel() const { return static_cast<int>(Send(TCM_GETCURSEL)); }
    int SetCurSel(int index) const {
        return static_cast<int>(Send(TCM_SETCURSEL, static_cast<WPARAM>(index)));
    }
    int GetItemCount() const { return static_cast<int>(Send(TCM_GETITEMCOUNT)); }
    std::wstring GetItemText(int index) const;
};

class ComboBox : public Control {
public:
    using Control::Control;
    int AddString(const std::wstring& s) const {
        return static_cast<int>(Send(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s.c_str())));
    }
    int GetCount() const { return static_cast<int>(Send(CB_GETCOUNT)); }
    int GetCurSel() const { return static_cast<int>(Send(CB_GETCURSEL)); }
    int SetCurSel(int index) const {
        return static_cast<int>(Send(CB_SETCURSEL, static_cast<WPARAM>(index)));
    }
    std::wstring GetItemText(int index) const;
};

class ListView : public Control {
public:
    using Control::Control;
    int InsertColumn(int index, const wchar_t* title, int format, int width) const;
    int GetColumnWidth(int index) const {
        return static_cast<int>(Send(LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(index)));
    }
    bool SetColumnWidth(int index, int width) const {
        return Send(LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(index), MAKELPARAM(width, 0)) != 0;
    }
    bool DeleteColumn(int index) const { return Send(LVM_DELETECOLUMN, static_cast<WPARAM>(index)) != 0; }
    int GetItemCount() const { return static_cast<int>(Send(LVM_GETITEMCOUNT)); }
    // Room for `count` rows before they are inserted.
    void SetItemCount(int count) const { Send(LVM_SETITEMCOUNT, static_cast<WPARAM>(count)); }
    int InsertItem(int index, const std::wstring& text, int image) const;
    // A row with text and item data, no image; returns its index or -1.
    int InsertItemWithData(int index, const std::wstring& text, LPARAM data) const;
    bool SetItemText(int index, int column, const std::wstring& text) const;
    std::wstring GetItemText(int index, int column) const;
    LPARAM GetItemData(int index) const;
    bool SetItemData(int index, LPARAM data) const;
    int GetNextItem(int start, UINT flags) const {
        return static_cast<int>(Send(LVM_GETNEXTITEM, static_cast<WPARAM>(start), MAKELPARAM(flags, 0)));
    }
    int GetSelected() const { return GetNextItem(-1, LVNI_SELECTED); }
    void Select(int index) const;
    bool EnsureVisible(int index, bool partialOk) const {
        return Send(LVM_ENSUREVISIBLE, static_cast<WPARAM>(index), partialOk ? TRUE : FALSE) != 0;
    }
    HWND GetHeader() const { return reinterpret_cast<HWND>(Send(LVM_GETHEADER)); }
    void DeleteAllItems() const { Send(LVM_DELETEALLITEMS); }
    void SetExtendedStyle(DWORD mask, DWORD style) const { Send(LVM_SETEXTENDEDLISTVIEWSTYLE, mask, style); }
    DWORD GetExtendedStyle() const { return static_cast<DWORD>(Send(LVM_GETEXTENDEDLISTVIEWSTYLE)); }
    HIMAGELIST SetImageList(HIMAGELIST list, int kind) const {
        return reinterpret_cast<HIMAGELIST>(
            Send(LVM_SETIMAGELIST, static_cast<WPARAM>(kind), reinterpret_cast<LPARAM>(list)));
    }
    int GetItemImage(int index) const;
    int GetColumnCount() const;

private:
    // Inserts `item` (its mask and fields other than the text) as row `index` with `text`.
    int InsertRow(LVITEMW item, int index, const std::wstring& text) const;
};

class TreeView : public Control {
public:
    using Control::Control;
    HIMAGELIST SetImageList(HIMAGELIST list, int kind) const {
        return reinterpret_cast<HIMAGELIST>(
            Send(TVM_SETIMAGELIST, static_cast<WPARAM>(kind), reinterpret_cast<LPARAM>(list)));
    }
    // An item with one image for both states; children is 0, 1 or I_CHILDRENCALLBACK.
    HTREEITEM InsertItem(HTREEITEM parent, const std::wstring& text, int image, int children, LPARAM data,
                         HTREEITEM after = TVI_LAST) const;
    bool DeleteAllItems() const { return Send(TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT)) != 0; }
    bool DeleteItem(HTREEITEM item) const {
        return Send(TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(item)) != 0;
    }
    bool SetItemText(HTREEITEM item, const std::wstring& text) const;
    // Sets the item's image (both states) and whether it shows an expand button.
    bool SetImageAndChildren(HTREEITEM item, int image, int children) const;
    HTREEITEM GetRoot() const { return reinterpret_cast<HTREEITEM>(Send(TVM_GETNEXTITEM, TVGN_ROOT)); }
    HTREEITEM GetNext(HTREEITEM item, UINT code) const {
        return reinterpret_cast<HTREEITEM>(Send(TVM_GETNEXTITEM, code, reinterpret_cast<LPARAM>(item)));
    }
    int GetCount() const { return static_cast<int>(Send(TVM_GETCOUNT)); }
    bool SelectItem(HTREEITEM item) const {
        return Send(TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item)) != 0;
    }
    bool Expand(HTREEITEM item, UINT code) const {
        return Send(TVM_EXPAND, code, reinterpret_cast<LPARAM>(item)) != 0;
    }
    std::wstring GetItemText(HTREEITEM item) const;
};

}  // namespace ui
