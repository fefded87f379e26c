// The suite's report list: a thin, non-owning list-view wrapper (columns, rows
// with text and image, item texts, selection, column widths). The dialog that
// holds the control binds it with DataExchange::Attach.
#pragma once

#include <string>

#include "platform/ui/Controls.h"

class CDBListCtrl : public ui::ListView {
public:
    using ui::ListView::ListView;

    // LVCFMT_LEFT, LVCFMT_RIGHT or LVCFMT_CENTER of a column; -1 when it does not exist.
    int GetColumnFormat(int index) const;
    std::wstring GetColumnTitle(int index) const;
    HIMAGELIST GetImageList(int kind) const {
        return reinterpret_cast<HIMAGELIST>(Send(LVM_GETIMAGELIST, static_cast<WPARAM>(kind)));
    }
    // The row's rectangle (LVIR_BOUNDS) in the list's client coordinates; empty when there is no such row.
    RECT GetItemRect(int index) const;
};
