#include "platform/connlist/CAdvConnectList.h"

#include <commdlg.h>

#include <algorithm>
#include <climits>
#include <map>

#include "platform/connection/ProfileStore.h"
#include "platform/connection/Win32ConnCrypto.h"
#include "platform/connlist/PassphraseDialog.h"
#include "platform/connlist/ProfileWaits.h"
#include "platform/services/CSysReg.h"
#include "platform/services/ColumnWidth.h"
#include "platform/ui/Dpi.h"
#include "platform/ui/Window.h"

const wchar_t* const CAdvConnectList::kWidthKeys[kColumnCount] = {L"ConnColW1", L"ConnColW2", L"ConnColW3",
                                                                  L"ConnColW4", L"ConnColW5"};
const int CAdvConnectList::kDefaultWidths[kColumnCount] = {150, 100, 150, 110, 100};

namespace {

const wchar_t* const kTitles[CAdvConnectList::kColumnCount] = {L"Name", L"Database kind", L"Server",
                                                               L"Database", L"User"};

std::wstring FileNameOf(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// A file name made from a profile name: characters that Windows forbids in
// names become '_'.
std::wstring SafeFileName(const std::wstring& name) {
    std::wstring out;
    for (wchar_t c : name)
        out.push_back(c < 0x20 || std::wstring(L"<>:\"/\\|?*").find(c) != std::wstring::npos ? L'_' : c);
    if (out.size() > 100) out.resize(100);
    return out.empty() ? L"profile" : out;
}

// Merges loaded profiles into the store as it is on disk now, under the
// store's lock (`lock`; none when the store has no path), so that changes
// another program made since it was shown, or makes at the same time, are kept. Loaded passwords stay plain
// through the merge, so that telling a duplicate costs one unprotect per stored profile at most; only the
// profiles actually added are protected, under the lock. A file of thousands of copies of one profile then
// costs next to nothing.
conn::ProfileStore::LoadResult MergeIntoStore(const std::wstring& storePath, const conn::StoreLock* lock,
                                              std::vector<CONN_INFO>&& incoming, conn::MergeResult& result,
                                              bool& protectFailed) {
    const auto& protector = conn::CurrentUserProtector();
    std::map<std::wstring, conn::SecretText> revealed;  // stored name -> its password
    const auto same = [&](const CONN_INFO& stored, const CONN_INFO& loaded) {
        auto it = revealed.find(stored.name);
        if (it == revealed.end())
            it = revealed.emplace(stored.name, conn::RevealPassword(stored, protector)).first;
        return it->second == loaded.password;
    };
    protectFailed = false;
    const auto change = [&](std::vector<CONN_INFO>& profiles) {
        result = conn::Merge(profiles, std::move(incoming), same, conn::SystemNameCase());
        for (std::size_t i : result.addedIndexes)
            protectFailed = !conn::ProtectPassword(profiles[i], protector) || protectFailed;
        if (protectFailed) return false;
        return result.added > 0;
    };
    conn::ProfileStore store(storePath);
    return lock ? store.Update(change, *lock) : store.Update(change, 0);
}

// The common file dialog on profile files, starting at `suggested`; empty
// when the user cancelled. `defaultExtension` is added to a name typed without one.
std::wstring AskFileName(HWND owner, const std::wstring& title, const std::wstring& suggested,
                         const wchar_t* defaultExtension, DWORD flags, BOOL(WINAPI* ask)(OPENFILENAMEW*)) {
    wchar_t buffer[MAX_PATH * 4] = {};
    suggested.copy(buffer, std::min<std::size_t>(suggested.size(), MAX_PATH));
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = L"Connection profile files (*.zcx)\0*.zcx\0All files (*.*)\0*.*\0";
    ofn.lpstrFile = buffer;
    ofn.nMaxFile = MAX_PATH * 4;
    ofn.lpstrTitle = title.c_str();
    ofn.lpstrDefExt = defaultExtension;
    ofn.Flags = flags | OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    return ask(&ofn) ? std::wstring(buffer) : std::wstring();
}

}  // namespace

void CAdvConnectList::Initialize(CSysReg* reg) {
    if (m_storePath.empty()) m_storePath = conn::ProfileStore::DefaultPath();
    SetExtendedStyle(LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
    while (GetColumnCount() > 0) DeleteColumn(0);
    for (int i = 0; i < kColumnCount; ++i) {
        int width = kDefaultWidths[i];
        if (reg) {
            const auto stored = reg->GetInt(kWidthKeys[i]);
            // Any width the list can have comes back; a negative or oversized
            // number is no width and gives the default.
            if (stored && *stored >= 0 && *stored <= INT_MAX) width = static_cast<int>(*stored);
        }
        // As left (stored in 96-dpi units, and exactly beside them).
        InsertColumn(i, kTitles[i], LVCFMT_LEFT,
                     LoadColumnWidth(reg, kWidthKeys[i], width, ui::DpiOf(m_hwnd)));
    }
}

void CAdvConnectList::LoadProfiles() { ShowProfiles(conn::ProfileStore(m_storePath).Load()); }

void CAdvConnectList::ShowProfiles(conn::ProfileStore::LoadResult loaded) {
    m_profiles = std::move(loaded.profiles);
    FillRows();
    if (!loaded.problem.empty())
        ShowMessage(::GetParent(m_hwnd), loaded.problem, L"Connection profiles", MB_OK | MB_ICONEXCLAMATION);
}

const ui::MessageMap* CAdvConnectList::ThisMessageMap() {
    static const ui::MessageEntry entries[] = {
        ui::OnReflectedNotify(LVN_GETDISPINFOW, &CAdvConnectList::OnGetDispInfo),
        ui::OnReflectedNotify(LVN_ODFINDITEMW, &CAdvConnectList::OnFindItem),
        ui::OnMessage(LVM_GETITEMW, &CAdvConnectList::OnGetItem),
    };
    static const ui::MessageMap map(ui::ListView::ThisMessageMap(), entries);
    return &map;
}

void CAdvConnectList::FillRows() {
    m_order.resize(m_profiles.size());
    for (std::size_t i = 0; i < m_order.size(); ++i) m_order[i] = i;
    // Sort keys compare as CompareStringW does; made once per name, they spare
    // a comparison of the names' texts at each step of the sort.
    std::vector<std::string> keys(m_profiles.size());
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const wchar_t* name = m_profiles[i].name.c_str();
        const int n =
            ::LCMapStringW(LOCALE_USER_DEFAULT, LCMAP_SORTKEY | NORM_IGNORECASE, name, -1, nullptr, 0);
        if (n <= 0) continue;
        keys[i].resize(static_cast<std::size_t>(n));
        ::LCMapStringW(LOCALE_USER_DEFAULT, LCMAP_SORTKEY | NORM_IGNORECASE, name, -1,
                       reinterpret_cast<LPWSTR>(keys[i].data()), n);
    }
    std::stable_sort(m_order.begin(), m_order.end(),
                     [&keys](std::size_t a, std::size_t b) { return keys[a] < keys[b]; });
    // The rows are new: no selection or focus of the old ones is carried over.
    DeleteAllItems();
    Send(LVM_SETITEMCOUNT, m_order.size(), 0);
}

std::wstring CAdvConnectList::CellText(int row, int column) const {
    if (row < 0 || static_cast<std::size_t>(row) >= m_order.size()) return {};
    const CONN_INFO& p = m_profiles[m_order[static_cast<std::size_t>(row)]];
    switch (column) {
    // Characters that do not show are written out, so that no two rows look alike.
    case 0: return conn::VisibleName(p.name);
    case 1: return p.kind;
    case 2: return p.server;
    case 3: return p.database;
    case 4: return p.user;
    default: return {};
    }
}

LRESULT CAdvConnectList::OnGetDispInfo(NMHDR* hdr) {
    LVITEMW& item = reinterpret_cast<NMLVDISPINFOW*>(hdr)->item;
    if ((item.mask & LVIF_TEXT) && item.pszText && item.cchTextMax > 0) {
        const std::wstring text = CellText(item.iItem, item.iSubItem);
        const std::size_t n =
            std::min<std::size_t>(text.size(), static_cast<std::size_t>(item.cchTextMax) - 1);
        text.copy(item.pszText, n);
        item.pszText[n] = L'\0';
    }
    return 0;
}

LRESULT CAdvConnectList::OnFindItem(NMHDR* hdr) {
    const auto* find = reinterpret_cast<NMLVFINDITEMW*>(hdr);
    if (!(find->lvfi.flags & (LVFI_STRING | LVFI_PARTIAL)) || !find->lvfi.psz) return -1;
    const std::wstring wanted = find->lvfi.psz;
    const int count = static_cast<int>(m_order.size());
    if (count == 0 || wanted.empty()) return -1;
    const int start = find->iStart >= 0 && find->iStart < count ? find->iStart : 0;
    // From the start row to the end, then from the top, as typing in a list searches.
    for (int k = 0; k < count; ++k) {
        const int row = (start + k) % count;
        if (k > 0 && row == 0 && !(find->lvfi.flags & LVFI_WRAP)) break;
        const std::wstring name = CellText(row, 0);
        const int n = static_cast<int>(std::min(name.size(), wanted.size()));
        const bool partial = (find->lvfi.flags & LVFI_PARTIAL) != 0;
        if ((partial ? name.size() >= wanted.size() : name.size() == wanted.size()) &&
            ::CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, name.c_str(), n, wanted.c_str(), n) ==
                CSTR_EQUAL)
            return row;
    }
    return -1;
}

bool CAdvConnectList::OnGetItem(ui::Message& m) {
    // The control keeps no item data of its own: each row's is its profile's index.
    m.result = DefaultProc(m);
    auto* item = reinterpret_cast<LVITEMW*>(m.lParam);
    if (item && (item->mask & LVIF_PARAM) && item->iSubItem == 0 && item->iItem >= 0 &&
        static_cast<std::size_t>(item->iItem) < m_order.size()) {
        item->lParam = static_cast<LPARAM>(m_order[static_cast<std::size_t>(item->iItem)]);
        m.result = TRUE;
    }
    return true;
}

void CAdvConnectList::SaveWidth(CSysReg* reg) {
    if (!reg || !m_hwnd) return;
    for (int i = 0; i < kColumnCount && i < GetColumnCount(); ++i)
        reg->SetInt(kWidthKeys[i],
                    KeepColumnWidth(*reg, kWidthKeys[i], GetColumnWidth(i), ui::DpiOf(m_hwnd)));
}

void CAdvConnectList::ScreenToCinfo(int row, int profileIndex) {
    if (profileIndex < 0 || static_cast<std::size_t>(profileIndex) >= m_profiles.size()) return;
    CONN_INFO& p = m_profiles[profileIndex];
    // The row shows the record; a record changed behind the list is shown again.
    if (row >= 0 && row < GetItemCount() && GetItemText(row, 0) != conn::VisibleName(p.name)) FillRows();
    conn::ProtectPassword(p, conn::CurrentUserProtector());
}

void CAdvConnectList::SaveOne(HWND owner, const std::wstring& title) {
    const int row = GetSelected();
    if (row < 0) {
        ShowMessage(owner, L"Select the profile to export first.", title, MB_OK | MB_ICONINFORMATION);
        return;
    }
    const auto index = static_cast<std::size_t>(GetItemData(row));
    if (index >= m_profiles.size()) return;
    Export(owner, title, {index});
}

void CAdvConnectList::SaveAll(HWND owner, const std::wstring& title) {
    if (m_profiles.empty()) {
        ShowMessage(owner, L"There are no connection profiles to save.", title, MB_OK | MB_ICONINFORMATION);
        return;
    }
    std::vector<std::size_t> all(m_profiles.size());
    for (std::size_t i = 0; i < all.size(); ++i) all[i] = i;
    Export(owner, title, all);
}

void CAdvConnectList::Export(HWND owner, const std::wstring& title, const std::vector<std::size_t>& indexes) {
    bool anyPassword = false;
    for (std::size_t i : indexes) anyPassword = anyPassword || m_profiles[i].HasPassword();
    std::optional<conn::SecretText> passphrase;
    if (anyPassword) {
        const int answer =
            ShowMessage(owner,
                        L"Include the passwords in the file?\n\nYes: the passwords are encrypted "
                        L"under a passphrase that you choose now and type again when loading.\nNo: "
                        L"the file holds no passwords.",
                        title, MB_YESNOCANCEL | MB_ICONQUESTION | MB_DEFBUTTON2);
        if (answer == IDCANCEL) return;
        if (answer == IDYES) {
            passphrase = AskPassphrase(owner, title, true);
            if (!passphrase) return;
        }
    }
    const std::wstring suggested = indexes.size() == 1 ? SafeFileName(m_profiles[indexes[0]].name) + L".zcx"
                                                       : L"Connection profiles.zcx";
    const std::wstring path = AskSaveFileName(owner, title, suggested);
    if (path.empty()) return;

    int lost = 0;
    const ProgressCipher cipher(owner, title, L"Encrypting the passwords under the passphrase...");
    const conn::ExportResult file =
        conn::ExportStoredProfiles(m_profiles, indexes, conn::CurrentUserProtector(), &cipher,
                                   passphrase ? &*passphrase : nullptr, lost);
    if (file.cancelled) return;  // nothing was written
    if (!file.ok()) {
        ShowMessage(owner, file.problem + L"\nNothing was saved.", title, MB_OK | MB_ICONHAND);
        return;
    }
    std::wstring error;
    if (!conn::WriteFileAtomic(path, file.bytes, error)) {
        ShowMessage(owner, L"The profiles could not be saved to " + path + L".\n" + error, title,
                    MB_OK | MB_ICONHAND);
        return;
    }
    if (lost > 0)
        ShowMessage(owner,
                    std::to_wstring(lost) +
                        L" stored password(s) could not be recovered for this user and were "
                        L"left out of " +
                        FileNameOf(path) + L".",
                    title, MB_OK | MB_ICONEXCLAMATION);
}

bool CAdvConnectList::ReadExportAsking(HWND owner, const std::wstring& title, const std::string& bytes,
                                       conn::FileResult& file) {
    if (!conn::ExportNeedsPassphrase(bytes)) {
        file = conn::ReadExport(bytes, nullptr, nullptr);
        return true;
    }
    const ProgressCipher cipher(owner, title, L"Checking the passphrase...");
    while (true) {
        const auto passphrase = AskPassphrase(owner, title, false);
        if (!passphrase) return false;
        file = conn::ReadExport(bytes, &cipher, &*passphrase);
        if (file.error == conn::FileError::Cancelled) return false;
        if (file.error != conn::FileError::WrongPassphrase) return true;
        ShowMessage(owner, L"The passphrase is not correct. Try again.", title, MB_OK | MB_ICONEXCLAMATION);
    }
}

void CAdvConnectList::ShowProfile(std::size_t index) {
    const auto at = std::find(m_order.begin(), m_order.end(), index);
    if (at == m_order.end()) return;
    const int row = static_cast<int>(at - m_order.begin());
    Select(row);
    EnsureVisible(row, false);
}

int CAdvConnectList::LoadAll(HWND owner, const std::wstring& title) {
    const std::wstring path = AskOpenFileName(owner, title);
    if (path.empty()) return 0;
    const std::wstring failed = L"The file " + FileNameOf(path) + L" could not be loaded.\n";
    std::string bytes;
    unsigned long code = 0;
    const conn::FileRead read = conn::ReadFileUpTo(path, conn::kMaxExportBytes, bytes, code);
    if (read != conn::FileRead::Done) {
        const wchar_t* why = read == conn::FileRead::TooLarge
                                 ? L"The file is too large to be a connection profile file (more than 9 MB)."
                                 : (read == conn::FileRead::CannotOpen ? L"The file cannot be opened."
                                                                       : L"The file cannot be read.");
        ShowMessage(owner, failed + why, title, MB_OK | MB_ICONHAND);
        return 0;
    }
    conn::FileResult file;
    if (!ReadExportAsking(owner, title, bytes, file)) return 0;
    if (!file.ok()) {
        ShowMessage(owner, failed + file.message + L"\nNothing was loaded.", title, MB_OK | MB_ICONHAND);
        return 0;
    }
    // Another program's change is waited for where the user can cancel it; then nothing changes.
    const auto lock = m_storePath.empty() ? nullptr : WaitForStoreLock(owner, title, m_storePath);
    if (!m_storePath.empty() && !lock) return 0;
    conn::MergeResult result;
    bool protectFailed = false;
    auto updated = MergeIntoStore(m_storePath, lock.get(), std::move(file.profiles), result, protectFailed);
    if (protectFailed) {
        ShowMessage(owner, failed + L"A password could not be protected for this user.\nNothing was loaded.",
                    title, MB_OK | MB_ICONHAND);
        return 0;
    }
    if (!updated.problem.empty()) {
        ShowMessage(owner, failed + updated.problem + L"\nNothing was loaded.", title, MB_OK | MB_ICONHAND);
        if (!updated.movedTo.empty()) {
            m_profiles.clear();
            FillRows();
        }
        return 0;
    }
    m_profiles = std::move(updated.profiles);
    FillRows();
    // Select the first profile added, so that the user sees where it went.
    if (!result.addedIndexes.empty()) ShowProfile(result.addedIndexes.front());
    ShowMessage(owner, L"From " + FileNameOf(path) + L": " + conn::MergeSummary(result), title,
                MB_OK | MB_ICONINFORMATION);
    return result.added;
}

std::wstring CAdvConnectList::AskSaveFileName(HWND owner, const std::wstring& title,
                                              const std::wstring& suggested) {
    return AskFileName(owner, title, suggested, L"zcx", OFN_OVERWRITEPROMPT, ::GetSaveFileNameW);
}

std::wstring CAdvConnectList::AskOpenFileName(HWND owner, const std::wstring& title) {
    return AskFileName(owner, title, L"", nullptr, OFN_FILEMUSTEXIST, ::GetOpenFileNameW);
}

std::optional<conn::SecretText> CAdvConnectList::AskPassphrase(HWND owner, const std::wstring& title,
                                                               bool newOne) {
    return AskPassphraseInWindow(owner, title, newOne);
}

int CAdvConnectList::ShowMessage(HWND owner, const std::wstring& text, const std::wstring& title, UINT type) {
    return ui::ShowMessageBox(owner, text.c_str(), title.c_str(), type);
}
