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
#include "platform/ui/Controls.h"

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
    // Reads the two library locations again and, while the same location is
    // shown, lists its opened folders again in place; a location that changed
    // is listed anew. The page's watch (the two products' settings keys and
    // the shown folder) calls it when another program changes them.
    void Refresh() override;

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
};
