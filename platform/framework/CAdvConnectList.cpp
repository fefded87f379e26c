#include "platform/framework/CAdvConnectList.h"

#include <commdlg.h>

#include <algorithm>
#include <climits>
#include <map>

#include "platform/connection/ConnText.h"
#include "platform/connection/ProfileFile.h"
#include "platform/connection/ProfileStore.h"
#include "platform/connection/Win32ConnCrypto.h"
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

// The passphrase prompt, built in memory so that it needs no resource.
class PassphraseDialog {
public:
    PassphraseDialog(const std::wstring& title, bool newOne) : m_title(title), m_newOne(newOne) {}

    std::optional<std::wstring> Run(HWND owner) {
        std::vector<WORD> t;
        Build(t);
        const INT_PTR r =
            ::DialogBoxIndirectParamW(ui::ResourceModule(), reinterpret_cast<LPCDLGTEMPLATEW>(t.data()),
                                      owner, Proc, reinterpret_cast<LPARAM>(this));
        if (r != IDOK) return std::nullopt;
        return m_result;
    }

private:
    enum { kEdit = 100, kEdit2 = 101 };

    static void Text(std::vector<WORD>& t, const std::wstring& s) {
        for (wchar_t c : s) t.push_back(static_cast<WORD>(c));
        t.push_back(0);
    }
    static void Item(std::vector<WORD>& t, DWORD style, short x, short y, short cx, short cy, WORD id,
                     WORD cls, const std::wstring& text) {
        if (t.size() % 2) t.push_back(0);  // DWORD alignment
        const DWORD s = style | WS_CHILD | WS_VISIBLE;
        t.push_back(LOWORD(s));
        t.push_back(HIWORD(s));
        t.push_back(0);
        t.push_back(0);
        for (short v : {x, y, cx, cy}) t.push_back(static_cast<WORD>(v));
        t.push_back(id);
        t.push_back(0xFFFF);
        t.push_back(cls);
        Text(t, text);
        t.push_back(0);
    }
    void Build(std::vector<WORD>& t) const {
        const short h = m_newOne ? 96 : 66;
        const DWORD style = DS_MODALFRAME | DS_CENTER | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU;
        t.push_back(LOWORD(style));
        t.push_back(HIWORD(style));
        t.push_back(0);
        t.push_back(0);
        t.push_back(static_cast<WORD>(m_newOne ? 6 : 4));
        for (int v : {0, 0, 220, static_cast<int>(h)}) t.push_back(static_cast<WORD>(v));
        t.push_back(0);  // no menu
        t.push_back(0);  // standard class
        Text(t, m_title);
        t.push_back(8);
        Text(t, L"MS Shell Dlg");
        Item(t, SS_LEFT, 7, 7, 206, 18, 0xFFFF, 0x0082,
             m_newOne ? L"Passwords are encrypted under this passphrase (at least 8 characters):"
                      : L"The passwords in this file are protected by a passphrase:");
        Item(t, ES_PASSWORD | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 7, 26, 206, 13, kEdit, 0x0081, L"");
        if (m_newOne) {
            Item(t, SS_LEFT, 7, 44, 206, 9, 0xFFFF, 0x0082, L"Type it again:");
            Item(t, ES_PASSWORD | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 7, 55, 206, 13, kEdit2, 0x0081,
                 L"");
        }
        Item(t, BS_DEFPUSHBUTTON | WS_TABSTOP, 109, h - 21, 50, 14, IDOK, 0x0080, L"OK");
        Item(t, BS_PUSHBUTTON | WS_TABSTOP, 163, h - 21, 50, 14, IDCANCEL, 0x0080, L"Cancel");
    }
    static std::wstring EditText(HWND dlg, int id) {
        wchar_t buffer[1024] = {};
        ::GetDlgItemTextW(dlg, id, buffer, 1024);
        std::wstring text = buffer;
        ::SecureZeroMemory(buffer, sizeof buffer);
        return text;
    }
    // Empties both boxes, so that the typed text does not outlive the prompt.
    static void ClearEdits(HWND dlg) {
        ::SetDlgItemTextW(dlg, kEdit, L"");
        ::SetDlgItemTextW(dlg, kEdit2, L"");
    }
    static INT_PTR CALLBACK Proc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
        if (msg == WM_INITDIALOG) {
            ::SetWindowLongPtrW(dlg, DWLP_USER, lp);
            ::SendDlgItemMessageW(dlg, kEdit, EM_LIMITTEXT, 1000, 0);
            return TRUE;
        }
        auto* self = reinterpret_cast<PassphraseDialog*>(::GetWindowLongPtrW(dlg, DWLP_USER));
        if (msg != WM_COMMAND || !self) return FALSE;
        if (LOWORD(wp) == IDCANCEL) {
            ClearEdits(dlg);
            ::EndDialog(dlg, IDCANCEL);
            return TRUE;
        }
        if (LOWORD(wp) != IDOK) return FALSE;
        std::wstring first = EditText(dlg, kEdit);
        std::wstring second = self->m_newOne ? EditText(dlg, kEdit2) : std::wstring();
        conn::WipeOnExit<std::wstring> wipeFirst(first), wipeSecond(second);
        const wchar_t* problem = nullptr;
        if (first.empty())
            problem = L"Type the passphrase.";
        else if (self->m_newOne && first.size() < 8)
            problem = L"The passphrase must have at least 8 characters.";
        else if (self->m_newOne && second != first)
            problem = L"The two passphrases differ.";
        if (problem) {
            ui::ShowMessageBox(dlg, problem, self->m_title.c_str(), MB_OK | MB_ICONEXCLAMATION);
            return TRUE;
        }
        self->m_result = first;
        ClearEdits(dlg);
        ::EndDialog(dlg, IDOK);
        return TRUE;
    }

    std::wstring m_title;
    bool m_newOne;
    std::wstring m_result;

public:
    ~PassphraseDialog() { conn::Wipe(m_result); }
};

// Merges loaded profiles into the store as it is on disk now, under the
// store's lock, so that changes another program made since it was shown, or
// makes at the same time, are kept. Loaded passwords stay plain through the
// merge, so that telling a duplicate costs one unprotect per stored profile at
// most; only the profiles actually added are protected, under the lock. A file
// of thousands of copies of one profile then costs next to nothing.
conn::ProfileStore::LoadResult MergeIntoStore(const std::wstring& storePath,
                                              std::vector<CONN_INFO>&& incoming, conn::MergeResult& result,
                                              bool& protectFailed) {
    const auto& protector = conn::CurrentUserProtector();
    std::map<std::wstring, std::wstring> revealed;  // stored name -> its password
    const conn::WipeOnExit wipeRevealed(revealed);
    const auto same = [&](const CONN_INFO& stored, const CONN_INFO& loaded) {
        auto it = revealed.find(stored.name);
        if (it == revealed.end())
            it = revealed.emplace(stored.name, conn::RevealPassword(stored, protector)).first;
        return it->second == loaded.password;
    };
    protectFailed = false;
    conn::ProfileStore store(storePath);
    return store.Update([&](std::vector<CONN_INFO>& profiles) {
        result = conn::Merge(profiles, std::move(incoming), same, conn::SystemNameCase());
        for (std::size_t i : result.addedIndexes)
            protectFailed = !conn::ProtectPassword(profiles[i], protector) || protectFailed;
        if (protectFailed) {
            for (std::size_t i : result.addedIndexes) conn::Wipe(profiles[i].password);
            return false;
        }
        return result.added > 0;
    });
}

// The export file of the profiles at `indexes`: passwords left out, or, with
// a passphrase, recovered and sealed under it. `lost` counts the stored
// passwords that could not be recovered for this user.
conn::ExportResult MakeExport(const std::vector<CONN_INFO>& profiles, const std::vector<std::size_t>& indexes,
                              const std::wstring* passphrase, int& lost) {
    std::vector<CONN_INFO> out;
    const conn::WipeOnExit wipeOut(out);
    out.reserve(indexes.size());
    for (std::size_t i : indexes) {
        CONN_INFO p = profiles[i];
        p.protectedPassword.clear();
        p.password.clear();
        if (passphrase) {
            p.password = conn::RevealPassword(profiles[i], conn::CurrentUserProtector());
            if (p.password.empty() && profiles[i].HasPassword()) ++lost;
        }
        out.push_back(std::move(p));
    }
    const conn::CngCipher cipher;
    return passphrase ? conn::WriteExport(out, &cipher, passphrase)
                      : conn::WriteExport(out, nullptr, nullptr);
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

void CAdvConnectList::FillRows() {
    std::vector<std::size_t> order(m_profiles.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
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
    std::stable_sort(order.begin(), order.end(),
                     [&keys](std::size_t a, std::size_t b) { return keys[a] < keys[b]; });
    SetRedraw(false);
    DeleteAllItems();
    SetItemCount(static_cast<int>(order.size()));
    int row = 0;
    for (std::size_t index : order) {
        const CONN_INFO& p = m_profiles[index];
        // Characters that do not show are written out, so that no two rows look alike.
        const int at = InsertItemWithData(row, conn::VisibleName(p.name), static_cast<LPARAM>(index));
        if (at < 0) continue;
        const std::wstring* cells[] = {&p.kind, &p.server, &p.database, &p.user};
        for (int c = 0; c < 4; ++c) SetItemText(at, c + 1, *cells[c]);
        ++row;
    }
    SetRedraw(true);
    ::InvalidateRect(m_hwnd, nullptr, TRUE);
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
    std::optional<std::wstring> passphrase;
    const conn::WipeOnExit wipePassphrase(passphrase);
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
    const conn::ExportResult file =
        MakeExport(m_profiles, indexes, passphrase ? &*passphrase : nullptr, lost);
    if (!file.ok()) {
        ShowMessage(owner, file.problem + L"\nNothing was saved.", title, MB_OK | MB_ICONHAND);
        return;
    }
    if (file.bytes.size() > conn::kMaxFileBytes) {
        ShowMessage(owner,
                    L"The file would be larger than 8 MB, more than a connection profile file may hold.\n"
                    L"Nothing was saved; export fewer profiles at a time.",
                    title, MB_OK | MB_ICONHAND);
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
    const conn::CngCipher cipher;
    while (true) {
        auto passphrase = AskPassphrase(owner, title, false);
        const conn::WipeOnExit wipePassphrase(passphrase);
        if (!passphrase) return false;
        file = conn::ReadExport(bytes, &cipher, &*passphrase);
        if (file.error != conn::FileError::WrongPassphrase) return true;
        ShowMessage(owner, L"The passphrase is not correct. Try again.", title, MB_OK | MB_ICONEXCLAMATION);
    }
}

void CAdvConnectList::ShowProfile(std::size_t index) {
    for (int row = 0; row < GetItemCount(); ++row) {
        if (static_cast<std::size_t>(GetItemData(row)) == index) {
            Select(row);
            EnsureVisible(row, false);
            return;
        }
    }
}

int CAdvConnectList::LoadAll(HWND owner, const std::wstring& title) {
    const std::wstring path = AskOpenFileName(owner, title);
    if (path.empty()) return 0;
    const std::wstring failed = L"The file " + FileNameOf(path) + L" could not be loaded.\n";
    std::string bytes;
    unsigned long code = 0;
    const conn::FileRead read = conn::ReadFileUpTo(path, conn::kMaxFileBytes, bytes, code);
    if (read != conn::FileRead::Done) {
        const wchar_t* why = read == conn::FileRead::TooLarge
                                 ? L"The file is too large to be a connection profile file (more than 8 MB)."
                                 : (read == conn::FileRead::CannotOpen ? L"The file cannot be opened."
                                                                       : L"The file cannot be read.");
        ShowMessage(owner, failed + why, title, MB_OK | MB_ICONHAND);
        return 0;
    }
    conn::FileResult file;
    const conn::WipeOnExit wipeLoaded(file.profiles);  // plain until protected below, on every path
    if (!ReadExportAsking(owner, title, bytes, file)) return 0;
    if (!file.ok()) {
        ShowMessage(owner, failed + file.message + L"\nNothing was loaded.", title, MB_OK | MB_ICONHAND);
        return 0;
    }
    conn::MergeResult result;
    bool protectFailed = false;
    auto updated = MergeIntoStore(m_storePath, std::move(file.profiles), result, protectFailed);
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

std::optional<std::wstring> CAdvConnectList::AskPassphrase(HWND owner, const std::wstring& title,
                                                           bool newOne) {
    return PassphraseDialog(title, newOne).Run(owner);
}

int CAdvConnectList::ShowMessage(HWND owner, const std::wstring& text, const std::wstring& title, UINT type) {
    return ui::ShowMessageBox(owner, text.c_str(), title.c_str(), type);
}
