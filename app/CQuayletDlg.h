// The main window: menu, tab strip, the four pages, help, About and the update check.
#pragma once

#include <array>
#include <memory>

#include "platform/framework/CAboutDlg.h"
#include "platform/framework/CSmDialog.h"
#include "platform/updates/CViewUpdates.h"
#include "platform/ui/Controls.h"

class PageProducts;

class CQuayletDlg : public CSmDialog {
public:
    CQuayletDlg();
    ~CQuayletDlg() override;

    void DoDataExchange(ui::DataExchange& dx) override;
    BOOL OnInitDialog() override;
    virtual BOOL OnHelpInfo(HELPINFO* info);

    const ui::MessageMap* GetMessageMap() const override { return ThisMessageMap(); }
    static const ui::MessageMap* ThisMessageMap();

    // Ctrl+Tab / Ctrl+Shift+Tab and Ctrl+PgDn / Ctrl+PgUp move between the
    // tabs wherever the focus is, as in any tabbed dialog. True: consumed.
    bool TranslateTabSwitch(const MSG& msg);
    // Ctrl+F: the shown page's search box, on a page that has one.
    bool TranslateFind(const MSG& msg);
    // F5 reads the shown page again, whichever of its controls has the focus.
    bool TranslateRefreshKey(const MSG& msg);

    int CurrentPageIndex() const { return m_currentPage; }
    // Products, Connections, Recent Projects, SQL Library: one tab and one page each.
    static constexpr int kPageCount = 4;
    CSmDialog* Page(int slot) const { return slot >= 0 && slot < kPageCount ? m_pages[slot].get() : nullptr; }
    PageProducts* ProductsPage() const { return m_productsPage; }
    const ui::TabCtrl& Tab() const { return m_tab; }
    HICON AppIcon() const { return m_appIcon; }

    static constexpr const wchar_t* kYears = L"2024-2026";
    // How long start-up waits, in all, for the pages' reads of other programs' files.
    static constexpr ULONGLONG kStartupReadsBudgetMs = 300;

protected:
    // Page construction and the update source, overridable so that tests can
    // observe the main window's calls without changing its steps.
    virtual std::unique_ptr<PageProducts> MakeProductsPage();
    virtual std::unique_ptr<CSmDialog> MakePage(int slot);
    virtual CViewUpdates& Updates() { return m_updates; }

private:
    // The application sees every menu command first; true: it served it.
    bool OnApplicationCommand(UINT id);
    void RunUpdateCheck();
    void WaitForStartupReads(ULONGLONG started);
    void OnAbout();
    void OnHelpIndex();
    LRESULT OnTabSelChange(NMHDR* hdr);
    bool OnHelpMsg(ui::Message& m);
    bool OnPaintMsg(ui::Message& m);
    bool OnQueryDragIcon(ui::Message& m);
    void OnCloseMsg();
    void OnDestroyMsg();
    bool OnMouseWheel(UINT keys, int delta, POINT pt);
    void SelectPage(int index);
    static LRESULT CALLBACK MessageFilter(int code, WPARAM wParam, LPARAM lParam);
    // The main window whose modal loop this thread's message filter serves.
    static thread_local CQuayletDlg* t_filtered;
    void OnQuit();

    ui::TabCtrl m_tab;
    HICON m_appIcon = nullptr;  // shared resource icon: never freed
    std::array<std::unique_ptr<CSmDialog>, kPageCount> m_pages;
    int m_currentPage = -1;
    std::unique_ptr<CAboutDlg> m_about;
    PageProducts* m_productsPage = nullptr;  // the same object as page 0, not owned
    CViewUpdates m_updates;
    HHOOK m_filter = nullptr;  // sees the modal loop's messages before the dialog manager
    bool m_checkingUpdates = false;
};
