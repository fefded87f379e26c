// Discovery's rows backed by a real list-view control.
#pragma once

#include "pages/projects/ProjectReads.h"
#include "platform/controls/CDBListCtrl.h"

class ProjectListRows final : public IEditableProjectRows {
public:
    explicit ProjectListRows(const CDBListCtrl& list) : m_list(list) {}

    int RowCount() override { return m_list.GetItemCount(); }
    std::wstring ItemText(int row, int column) override { return m_list.GetItemText(row, column); }
    int InsertRow(int row, const std::wstring& text, int image) override {
        return m_list.InsertItem(row, text, image);
    }
    void SetItemText(int row, int column, const std::wstring& text) override {
        m_list.SetItemText(row, column, text);
    }
    void DeleteRow(int row) override { m_list.Send(LVM_DELETEITEM, static_cast<WPARAM>(row)); }
    int ItemImage(int row) override { return m_list.GetItemImage(row); }

private:
    const CDBListCtrl& m_list;
};
