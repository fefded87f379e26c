// The "Recent Projects" page: the project files that the suite's products used
// most recently, found at initialisation and again whenever their sources
// change; a double-click opens one with
// the program associated with its extension. The six column widths are kept
// in the settings store.
#pragma once

#include <memory>
#include <string>

#include "pages/projects/ProjectListRows.h"
#include "pages/projects/ProjectReads.h"
#include "pages/projects/RecentDiscovery.h"
#include "pages/projects/Win32RegistryKeys.h"
#include "platform/controls/CDBListCtrl.h"
#include "platform/framework/CSmDialog.h"
#include "platform/os/BackgroundReads.h"
#include "platform/os/ChangeWatch.h"
#include "platform/ui/Accessibility.h"

class PageProjects : public CSmPage {
public:
    explicit PageProjects(ui::Window* parent);
    ~PageProjects() override;

    const ui::MessageMap* GetMessageMap() const override { return ThisMessageMap(); }
    static const ui::MessageMap* ThisMessageMap();

    void DoDataExchange(ui::DataExchange& dx) override;
    BOOL OnInitDialog() override;

    // Opens the first selected row with its associated program.
    void OpenSelected();
    bool ReadsPending() const override { return m_reads.Pending() > 0; }
    // Ctrl+F: the search box takes the focus with its text selected.
    bool FocusSearch() override;
    // Shows the rows found so far that match the search box (all of them
    // when it is empty), keeping the rows that stay, and says how many match.
    void ApplyFilter();
    // Esc in the search box empties it; anywhere else it does nothing.
    void OnCancel() override;
    // Reads the products' recent-file values again now and every listed file
    // and descriptor again in the background; rows change in place as the
    // reads answer. The page's watch (the products' settings keys, the
    // projects' folders) calls it when another program changes them.
    void Refresh() override;

    const CDBListCtrl& List() const { return m_list; }
    const RecentDiscovery& Discovery() const { return m_discovery; }
    HWND SearchBox() const { return m_search.Hwnd(); }
    // What the count beside the search box says.
    std::wstring CountText() const;

    // Titles, alignments and width settings of the six columns.
    struct ColumnSpec {
        const wchar_t* title;
        int format;
        const wchar_t* widthKey;
    };
    static const ColumnSpec kColumns[6];

private:
    LRESULT OnDblClk(NMHDR* hdr);
    void OnDestroyMsg();
    void OnReadsAnswered();
    void CreateImageList();
    // Discovery again over what is known now; the list gets what changed,
    // and what is not known yet is read in the background.
    void Rediscover();
    void ReadWanted();
    void SetUpSearch();
    void OnSearchChange();
    // The list gets the rows discovery found, the selected row staying selected.
    void ShowFound();
    // Watches the keys the recent files are named in and the folders they lie in.
    void WatchSources();

    CDBListCtrl m_list;
    // Owned by the list once attached: a list without LVS_SHAREIMAGELISTS
    // destroys its image lists with itself.
    HIMAGELIST m_imageList = nullptr;
    ui::AccessibleNames m_names;
    ui::Control m_search;
    ui::Control m_count;
    ui::ToolTips m_tips;
    std::wstring m_filter;  // the search box's text, folded; empty: every row
    ProjectListRows m_rows{m_list};
    Win32RegistryKeys m_keys;
    CachedRegistryKeys m_cachedKeys{m_keys};
    KnownProjectFiles m_known;
    ProjectRowsInMemory m_found;
    RecentDiscovery m_discovery;
    os::BackgroundReads m_reads;
    os::ChangeWatch m_watch;
    bool m_knownChanged = false;  // a read answered since the last discovery
};
