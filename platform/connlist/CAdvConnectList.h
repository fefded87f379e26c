// The suite's list of stored connection profiles: a report list view (name,
// database kind, server, database, user) over the profile store, with export
// to and import from profile files.
//
// The list view is virtual (owner data): it holds no rows of its own and asks
// for each cell it shows, so that the largest store fills it as fast as a
// small one. The control must have the LVS_OWNERDATA style and be bound to
// this object (Subclass), which answers its requests. Each row's item data
// (LVM_GETITEM with LVIF_PARAM) is the index of its profile in Profiles();
// rows are sorted by name, so row numbers and indexes differ. The search by
// the start of a name that the control asks for when the user types
// (LVN_ODFINDITEM) finds its row. Column widths are kept through CSysReg as
// "ConnColW1" .. "ConnColW5".
//
// Files (see platform/connection/ProfileFile.h): "Export One..." and "Save..."
// write an export file; passwords are left out unless the user asks for them,
// and then they are sealed under a passphrase the user types. "Load..."
// reads such a file and merges it into the store as it is on disk, under the
// store's lock: existing profiles are never changed; a profile identical to a
// stored one is skipped, and one whose name is taken (case ignored) is added
// under a new name, as the summary message says. A file that fails anywhere,
// a store that is read-only in this session, a lock held too long by another
// program, or a result past the store's limits loads nothing. The waits for
// another program's lock and for the key of a sealed file run behind a
// progress window whose Cancel ends the action with nothing changed
// (ProfileWaits.h). Plain passwords
// and passphrases are held only as conn::SecretText, which overwrites them
// when it lets go of them. Names are shown with any character that does not
// show written out.
//
// The connection code reports its failures in what it returns; the list turns
// each into a message box for the user and neither throws nor catches.
//
// Message boxes, file dialogs and the passphrase prompt go through virtual
// methods so that tests can answer them.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/connection/CONN_INFO.h"
#include "platform/connection/ProfileStore.h"
#include "platform/ui/Controls.h"

namespace conn {
struct FileResult;
}  // namespace conn

class CSysReg;

class CAdvConnectList : public ui::ListView {
public:
    CAdvConnectList() = default;
    ~CAdvConnectList() override = default;

    const ui::MessageMap* GetMessageMap() const override { return ThisMessageMap(); }
    static const ui::MessageMap* ThisMessageMap();

    // The store file; by default conn::ProfileStore::DefaultPath() at Initialize.
    void SetStorePath(std::wstring path) { m_storePath = std::move(path); }
    const std::wstring& StorePath() const { return m_storePath; }

    // Sets up the columns with their stored widths. The list must be attached.
    void Initialize(CSysReg* reg);
    // Reads the store and shows its profiles; a store that cannot be read is
    // reported once (in a box owned by the list's parent).
    void LoadProfiles();
    // The second half of LoadProfiles, for a store read elsewhere (on a worker).
    void ShowProfiles(conn::ProfileStore::LoadResult loaded);
    void SaveWidth(CSysReg* reg);
    // Makes the record of `profileIndex` ready for packing: no password left
    // in plain text in memory, the protected form kept.
    void ScreenToCinfo(int row, int profileIndex);

    // Exports the selected profile / all profiles to a file the user picks.
    void SaveOne(HWND owner, const std::wstring& title);
    void SaveAll(HWND owner, const std::wstring& title);
    // Loads a file the user picks into the store; returns the number of profiles added.
    int LoadAll(HWND owner, const std::wstring& title);

    std::vector<CONN_INFO>& Profiles() { return m_profiles; }
    const std::vector<CONN_INFO>& Profiles() const { return m_profiles; }

    static constexpr int kColumnCount = 5;
    static const wchar_t* const kWidthKeys[kColumnCount];
    static const int kDefaultWidths[kColumnCount];

protected:
    // Empty when the user cancelled.
    virtual std::wstring AskSaveFileName(HWND owner, const std::wstring& title,
                                         const std::wstring& suggested);
    virtual std::wstring AskOpenFileName(HWND owner, const std::wstring& title);
    // newOne: choosing a passphrase (typed twice) rather than entering one.
    virtual std::optional<conn::SecretText> AskPassphrase(HWND owner, const std::wstring& title, bool newOne);
    virtual int ShowMessage(HWND owner, const std::wstring& text, const std::wstring& title, UINT type);

private:
    void Export(HWND owner, const std::wstring& title, const std::vector<std::size_t>& indexes);
    // Reads an export, asking for its passphrase until it is right. False: the user gave up.
    bool ReadExportAsking(HWND owner, const std::wstring& title, const std::string& bytes,
                          conn::FileResult& file);
    // Selects and shows the row of the profile at `index`.
    void ShowProfile(std::size_t index);
    // Sorts the rows by name and has the list show as many.
    void FillRows();
    // The text of a cell of a row.
    std::wstring CellText(int row, int column) const;

    LRESULT OnGetDispInfo(NMHDR* hdr);
    LRESULT OnFindItem(NMHDR* hdr);
    bool OnGetItem(ui::Message& m);

    std::wstring m_storePath;
    std::vector<CONN_INFO> m_profiles;
    std::vector<std::size_t> m_order;  // row -> index in m_profiles
};
