// The "Products" page: one row per suite product in the fixed page order, with
// its icon button (starts the installed product), bold name, description,
// installed version, help link and update or download link; a check box hides
// the products that are not installed, and the rows scroll vertically when
// they reach below the page's bottom.
#pragma once

#include <windows.h>

#include <array>
#include <bitset>
#include <map>
#include <memory>
#include <string>

#include "pages/products/CLabel.h"
#include "pages/products/ProductEntry.h"
#include "platform/framework/CSmDialog.h"
#include "platform/controls/CUrlStatic.h"
#include "platform/os/BackgroundReads.h"
#include "platform/os/ChangeWatch.h"
#include "platform/ui/Accessibility.h"
#include "platform/ui/Gdi.h"

// The windows of one shown row, owned by its entry.
struct RowControls {
    std::unique_ptr<ui::Window> iconButton;
    std::unique_ptr<CLabel> nameLabel;
    std::unique_ptr<CUrlStatic> updateLink;
    std::unique_ptr<CUrlStatic> helpLink;
    std::unique_ptr<CLabel> descriptionLabel;
    std::unique_ptr<CLabel> versionLabel;
};

class PageProducts : public CSmPage {
public:
    explicit PageProducts(ui::Window* parent);
    ~PageProducts() override;

    const ui::MessageMap* GetMessageMap() const override { return ThisMessageMap(); }
    static const ui::MessageMap* ThisMessageMap();

    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    void DoDataExchange(ui::DataExchange& dx) override;
    BOOL OnInitDialog() override;
    void OnSize(UINT type, int cx, int cy) override;

    // Applies one result of the update check (virtual so that tests can observe the main window's calls).
    virtual void SetUpdateVersion(const std::wstring& productName, const std::wstring& version);
    // Destroys every row, detects every product again and lays out the shown rows from the top. Reads
    // no file here: the rows show what is known (versions from the cache), the programs are looked at
    // again in the background, and a row changes when its look answers.
    virtual void RelayoutRows();
    bool ReadsPending() const override { return m_reads.Pending() > 0; }
    // Reads every product's registry key again and looks at its program in
    // the background; the rows that changed are made again where they are.
    // The page's watch on the products' keys calls it when another program
    // (an installer) changes them.
    void Refresh() override;

    // Lays out one entry at row index rowIndex; 1 when the row is shown, 0 when hidden.
    int LayoutRow(ProductEntry& entry, int rowIndex);
    void DestroyRowControls(ProductEntry& entry);
    void CreateUpdateLink(ProductEntry& entry, int y, bool isUpdate);
    // Starts the product of entry `position` by its recorded path; nothing when it has none.
    void LaunchEntry(int position);
    // Scrolls so that a child of the page (for a row's control, its whole row) is in view.
    void ScrollIntoView(HWND child);

    const ProductEntries& Entries() const { return m_entries; }
    ProductEntries& Entries() { return m_entries; }
    int ShowInstalledOnly() const { return m_showInstalledOnly; }
    int ClientHeight() const { return m_clientHeight; }
    int ScrollPos() const { return m_scrollPos; }
    int ContentHeight() const { return m_contentHeight; }
    int ScrollRange() const { return m_scrollRange; }
    // The DPI the rows are laid out for, and the tooltip control of the page.
    UINT Dpi() const { return m_dpi; }
    HWND ToolTip() const { return m_tips.Hwnd(); }

    // What a row shows of its product: no program recorded or none found
    // there, a program found, or a recorded program not looked at yet (or
    // whose folder does not answer): not "not installed", only not yet known.
    enum class RowState { Missing, Found, Unknown };
    RowState StateOf(const ProductEntry& entry) const;

    static constexpr int kRowTop = 16;
    static constexpr int kRowHeight = 50;
    static constexpr UINT kRowControlId = 0xFFFF;

private:
    void OnShowInstalledOnly();
    bool OnVScroll(ui::Message& m);
    bool OnMouseWheel(UINT keys, int delta, POINT pt);
    int RangeFor(int clientHeight) const;
    void SetScrollBar(int range);
    void ScrollTo(int pos);
    RowControls& Controls(ProductEntry& entry);
    // The parts of one row at content y, each with its name and tip.
    void CreateIconButton(ProductEntry& entry, int y, RowState state);
    void CreateRowLabels(ProductEntry& entry, int y);
    void CreateVersionLabel(ProductEntry& entry, int y);
    void CreateHelpLink(ProductEntry& entry, int y);
    // Sizes the version label and the links of the row at content y to their texts.
    void FitTexts(RowControls& c, int y);
    // Puts the links of all rows in line, as far right as the widest row needs.
    void AlignLinks();
    // A rectangle given in 96-dpi content coordinates, in page pixels now.
    RECT Place(int left, int top, int right, int bottom) const;
    // Every row control comes through here: the page places it itself when
    // the DPI changes, and it gets its screen-reader name and tooltip where
    // given; both go with Forget.
    void Describe(HWND control, const std::wstring& name = {}, const std::wstring& tip = {});
    void Forget(HWND control);
    bool OnDpiChanged(ui::Message& m);
    void OnColoursChanged();

    // The background half (PageProductsReads.cpp).
    std::size_t IndexOf(const ProductEntry& entry) const;
    void LayOutShownRows();
    void Recheck(std::size_t i);
    void LookAt(std::size_t i);
    void WatchProductKeys();
    void ReadVersion(std::size_t i);
    void OnLooked(std::size_t i, const std::wstring& path, const std::optional<os::PathFacts>& facts);
    void OnVersion(std::size_t i, const std::wstring& path, const os::FileFacts& facts,
                   const std::optional<os::FixedVersion>& version);
    void OnReadsAnswered();
    void ShowChangedRows();
    void PutRowInTabOrder(const ProductEntry& entry);

    // What the page knows of one product's program, found out in the background.
    struct ProgramCheck {
        std::wstring path;                   // what "ExePath" recorded at the last relayout
        bool answered = false;               // a look at `path` answered...
        bool found = false;                  // ...and found a file or a folder there
        std::optional<os::FileFacts> facts;  // of the regular file found there
        bool noAnswer = false;               // the last look was given up at its deadline
        bool versionNoAnswer = false;        // the version read was given up at its deadline
        os::BackgroundReads::Id look = 0;
        os::BackgroundReads::Id version = 0;
    };

    ProductEntries m_entries;
    int m_showInstalledOnly = 0;
    int m_clientHeight = 0;
    int m_scrollPos = 0;
    int m_contentHeight = 0;
    int m_scrollRange = 0;  // the scroll bar's range at the last size change
    int m_wheelDelta = 0;   // wheel turns short of a whole notch
    std::array<ProgramCheck, kProductEntryCount> m_checks;
    VersionCache m_versions;
    os::BackgroundReads m_reads;
    os::ChangeWatch m_watch;
    std::bitset<kProductEntryCount> m_changed;  // rows to show again when the reads are run
    UINT m_dpi = 96;
    // The buttons' pictures at m_dpi, loaded once and shared by every relayout.
    std::map<int, ui::Icon> m_icons;
    ui::ToolTips m_tips;
    ui::AccessibleNames m_names;
};
