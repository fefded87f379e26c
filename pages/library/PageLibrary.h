// The SQL library page: the library locations that two products keep in their
// settings, a tree of the chosen location's folders and scripts, and a
// coloured preview of the selected script.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/controls/CSQLTree.h"
#include "platform/framework/CSmDialog.h"
#include "platform/os/ChangeWatch.h"
#include "platform/preview/ColorEditWnd.h"
#include "platform/ui/Accessibility.h"
#include "platform/ui/Controls.h"

class LibrarySearch;

class PageLibrary : public CSmPage {
public:
    explicit PageLibrary(ui::Window* parent);
    ~PageLibrary() override;

    const ui::MessageMap* GetMessageMap() const override { return ThisMessageMap(); }
    static const ui::MessageMap* ThisMessageMap();

    // A tree selection (wParam 0x2400, lParam the entry) is answered here and
    // never reaches the base.
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    void DoDataExchange(ui::DataExchange& dx) override;
    BOOL OnInitDialog() override;
    bool ReadsPending() const override { return m_tree.ReadsPending(); }
    // Ctrl+F: the search box takes the focus with its text selected.
    bool FocusSearch() override;
    // Enter in the search box searches the scripts' text.
    void OnOK() override;
    // Esc ends a search of the text, else empties the search box when it has the focus.
    void OnCancel() override;
    // Shows the scripts whose name holds the search box's text (and those a
    // search of the text found), below their folders; with an empty box, the
    // location's tree as usual.
    void ApplyFilter();
    // Starts a search of the scripts' text for the search box's text.
    void SearchText();
    const LibrarySearch* Finder() const { return m_finder.get(); }
    // What the line beside the search box says.
    std::wstring StatusText() const;
    // Reads the two library locations again and, while the same location is
    // shown, lists its opened folders again in place; a location that changed
    // is listed anew. The page's watch (the two products' settings keys and
    // the shown folder) calls it when another program changes them.
    void Refresh() override;
    // Refresh while the tree shows what a search found.
    void RefreshFound();

    // The "Library" value of HKCU\Software\Zerudozuz\<productKey>\Settings when
    // it fits into 255 bytes, else the empty text.
    std::wstring ReadLibraryLocation(const wchar_t* productKey);
    // Lists the location chosen in the combo box.
    void FillTree();
    // Shows the entry's script, or nothing for a folder; an index outside the
    // tree's lists changes nothing.
    void ShowPreview(int index);

    // The locations the two products name now (empty texts left out).
    std::vector<std::wstring> ReadLibraryLocations();
    // Offers the locations in the combo box, keeping the one shown when it is still offered.
    void OfferLocations(const std::vector<std::wstring>& locations);
    void WatchSources();

    ui::ComboBox m_location;
    CSQLTree m_tree;
    std::unique_ptr<ColorEditWnd> m_preview;
    std::vector<std::wstring> m_offered;  // the locations in the combo box
    os::ChangeWatch m_watch;

    ui::Control m_search;
    ui::Control m_searchButton;
    ui::Control m_status;

private:
    void SetUpSearch();
    void OnSearchChange();
    void OnSearchButton();
    void OnSearchAnswered();
    void OnTimer(UINT_PTR id);
    void ShowStatus();
    void AddNameMatches(std::size_t first);
    void AddFound(const std::wstring& path);
    // Selects the match of the script in the preview once its line is read.
    void MarkMatch();
    // Selects the script chosen before the tree was filled again, opening
    // its folders as they are listed.
    void RevealSelected();

    ui::AccessibleNames m_names;
    ui::ToolTips m_tips;
    std::unique_ptr<LibrarySearch> m_finder;
    std::wstring m_filter;        // the search box's text, folded
    bool m_showingFound = false;  // the tree shows results, not the folders
    std::wstring m_selected;      // the script last chosen
    std::wstring m_marking;       // the script whose match waits to be marked
    int m_revealTries = 0;
    bool m_reselecting = false;  // the tree selects the script already shown
    void Reselect(std::size_t entry);
    bool m_revealing = false;
};
