// The script tree of the SQL library: the folders and .sql files of a
// location, folders first, each level sorted without regard to case. A
// folder's contents are listed only when it is first expanded, so a huge
// library or a junction that loops back costs nothing until the user opens it.
//
// Folders are listed in the background (the library may lie on a share that
// stopped answering): a level shows when its folder answers, meanwhile a
// "Reading the folder..." item stands in its place, and a folder that gives
// no answer in time says so in that item; expanding it again tries again.
// A folder shows an expand button until it is opened and found empty.
//
// Entries are numbered in the order they were listed; m_kinds and m_paths hold
// one element per entry and each tree item carries its entry number. Every
// selection is reported to the parent as WM_COMMAND with wParam
// kSelectionCommand and lParam the entry number.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/ui/Controls.h"
#include "platform/ui/Gdi.h"

namespace os {
class BackgroundReads;
}  // namespace os

class CSQLTree : public ui::TreeView {
public:
    static constexpr WPARAM kSelectionCommand = 0x2400;
    static constexpr const wchar_t* kDirectoryKind = L"<Directory>";
    static constexpr const wchar_t* kScriptKind = L"<Script>";
    enum IconIndex : int { kIconFolder = 0, kIconFolderOpen = 1, kIconScript = 2 };
    static constexpr const wchar_t* kReadingText = L"Reading the folder...";
    static constexpr const wchar_t* kNoAnswerText = L"The folder does not answer.";

    CSQLTree();
    ~CSQLTree() override;

    // Folder, open folder and script icons, 16 by 16; the page hands the list to the control.
    ui::ImageList m_icons;
    // Per entry: kDirectoryKind for a folder, kScriptKind for a script.
    std::vector<std::wstring> m_kinds;
    // Per entry: the full path.
    std::vector<std::wstring> m_paths;

    // Removes every entry.
    void Clear();
    // Lists the folders and .sql files of `folder` below `parent` (null: the
    // top level) when the folder answers. A missing, empty or unreadable
    // folder lists nothing.
    void Level(const wchar_t* folder, HTREEITEM parent);
    // Whether listings are still out.
    bool ReadsPending() const;

    // What a folder holds that the tree lists: folders and .sql files, not
    // hidden, folders first, sorted; `link` marks a folder that is a link or
    // junction. Reads the folder: call it on a worker.
    struct Found {
        std::wstring name;
        bool folder;
        bool link = false;
    };
    static std::vector<Found> ReadFolder(const std::wstring& folder);
    static std::wstring Join(const std::wstring& folder, const std::wstring& name);

    // A search's results in place of the folders' contents: BeginFound
    // empties the tree, AddFound shows a script below `root` with the folders
    // that lead to it (opened), SortFound puts what was added in the tree's
    // order. A selection is reported as any other.
    void BeginFound();
    HTREEITEM AddFound(const std::wstring& root, const std::wstring& path);
    void SortFound();
    // The entry of a path shown, or npos.
    std::size_t EntryOfPath(const std::wstring& path) const;
    // Lists the top level and every opened folder again in the background
    // and brings the tree to what each folder holds now, in place: entries
    // that stay keep their items (opened, selected, scrolled to), new ones are
    // inserted where they sort, gone ones are taken out. A gone entry keeps
    // its number with an empty path and kind and no item.
    void Refresh();
    // Where the changes a refresh found are applied: by default at once; the
    // page may hold them while the pointer is pressed on the tree.
    void SetApplyGate(std::function<void(std::function<void()>)> gate) { m_gate = std::move(gate); }

    // The item of an entry, or null.
    HTREEITEM ItemOf(std::size_t entry) const { return entry < m_items.size() ? m_items[entry] : nullptr; }

    const ui::MessageMap* GetMessageMap() const override { return ThisMessageMap(); }
    static const ui::MessageMap* ThisMessageMap();

private:
    enum class Listed : unsigned char { No, Reading, Yes, NoAnswer };

    LRESULT OnExpanding(NMHDR* hdr);
    LRESULT OnSelChanged(NMHDR* hdr);
    LRESULT OnGetDispInfo(NMHDR* hdr);
    void OnReadsAnswered();
    // A level's entries, when its folder answered.
    void ShowLevel(const std::wstring& base, HTREEITEM parent, HTREEITEM reading, std::vector<Found>& found);
    void LevelGaveNoAnswer(HTREEITEM parent, HTREEITEM reading);
    std::size_t EntryOf(HTREEITEM item) const;
    static bool SortsBefore(const Found& a, const Found& b);

    // The refresh (CSQLTreeRefresh.cpp).
    void RefreshLevel(const std::wstring& folder, std::size_t parent);
    void MergeLevel(std::uint64_t generation, const std::wstring& folder, std::size_t parent,
                    const std::vector<Found>& found);
    void RemoveItem(HTREEITEM item);
    void ShowChildrenState(HTREEITEM parent);

    std::vector<HTREEITEM> m_items;            // per entry
    std::vector<Listed> m_listed;              // per entry: a folder's contents were listed
    std::vector<signed char> m_hasChildren;    // per entry: -1 not yet known, 0 or 1
    std::map<HTREEITEM, HTREEITEM> m_reading;  // a level's parent (null: the top) -> its stand-in item
    std::unique_ptr<os::BackgroundReads> m_reads;
    bool m_clearing = false;
    // The results shown: items by path, and the folders added to since the last sort.
    HTREEITEM AddFoundEntry(HTREEITEM parent, const std::wstring& name, const std::wstring& path,
                            bool folder);
    std::map<std::wstring, HTREEITEM> m_found;
    std::vector<HTREEITEM> m_unsorted;
    std::wstring m_root;             // the folder of the top level
    std::uint64_t m_generation = 0;  // counts Clear: a refresh applies only to its own contents
    std::function<void(std::function<void()>)> m_gate;
    // Levels a refresh came for while they were being read: the listing may
    // predate the change, so each is read again once it shows.
    std::set<HTREEITEM> m_readAgain;
};
