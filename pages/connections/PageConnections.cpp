#include "pages/connections/PageConnections.h"

#include <shellapi.h>

#include <io.h>

#include <algorithm>
#include <chrono>
#include <utility>

#include "platform/framework/Process.h"
#include "platform/os/BackgroundReads.h"
#include "platform/os/ChangeWatch.h"
#include "platform/os/Os.h"
#include "platform/services/CLimit.h"
#include "platform/services/CSysReg.h"
#include "platform/ui/Dpi.h"
#include "platform/ui/Reads.h"
#include "resources/resource.h"

namespace {

// A store that has not answered by then is given up on; the list says so.
constexpr std::chrono::milliseconds kReadDeadline{10000};

std::wstring LoadResourceString(UINT id) {
    const wchar_t* text = nullptr;
    const int n = ::LoadStringW(ui::ResourceModule(), id, reinterpret_cast<LPWSTR>(&text), 0);
    return n > 0 && text ? std::wstring(text, static_cast<std::size_t>(n)) : std::wstring();
}

}  // namespace

PageConnections::PageConnections(ui::Window* parent)
    : PageConnections(parent, std::make_unique<CAdvConnectList>()) {}

PageConnections::PageConnections(ui::Window* parent, std::unique_ptr<CAdvConnectList> list)
    : CSmPage(IDD_PAGE_CONNECTIONS, parent),
      m_list(std::move(list)),
      m_reads(std::make_unique<os::BackgroundReads>()),
      m_watch(std::make_unique<os::ChangeWatch>()) {}

PageConnections::~PageConnections() {
    if (m_hwnd) m_names.Clear(Item(IDC_CONN_OPEN));
}

bool PageConnections::ReadsPending() const { return m_reads->Pending() > 0; }

const ui::MessageMap* PageConnections::ThisMessageMap() {
    static const ui::MessageEntry entries[] = {
        ui::OnCommand(IDC_CONN_EXPORT_ONE, BN_CLICKED, &PageConnections::OnExportOne),
        ui::OnCommand(IDC_CONN_SAVE_ALL, BN_CLICKED, &PageConnections::OnSaveAll),
        ui::OnCommand(IDC_CONN_LOAD_ALL, BN_CLICKED, &PageConnections::OnLoadAll),
        ui::OnCommand(IDC_CONN_OPEN, BN_CLICKED, &PageConnections::OnOpenSelected),
        ui::OnSignal(ui::kReadsAnswered, &PageConnections::OnReadsAnswered),
    };
    static const ui::MessageMap map(CSmDialog::ThisMessageMap(), entries);
    return &map;
}

void PageConnections::DoDataExchange(ui::DataExchange& dx) {
    CSmDialog::DoDataExchange(dx);
    dx.Subclass(IDC_CONN_LIST, *m_list);
    dx.Attach(IDC_CONN_OPEN, m_open);
}

BOOL PageConnections::OnInitDialog() {
    CSmDialog::OnInitDialog();
    if (!RegistryObject()) SetRegistryObject(std::make_unique<CSysReg>());
    m_list->Initialize(RegistryObject());
    ReadProfiles();
    WatchStore();
    m_openIcon = ui::LoadIconForDpi(ui::ResourceModule(), IDI_OPEN_TABLE_BENCH, ui::DpiOf(m_hwnd));
    m_open.SetIcon(m_openIcon.Get());
    // The button shows only its icon: say what it does.
    const wchar_t* const action = L"Open selected database with Zelto Table Bench";
    m_names.Set(m_open.Hwnd(), action);
    if (m_tips.Create(m_hwnd)) m_tips.Add(m_open.Hwnd(), action);
    AddControl(IDC_CONN_OPEN, RZ_MOVE_BOTTOM, 0);
    AddControl(IDC_CONN_OPEN_TEXT, RZ_MOVE_BOTTOM, 0);
    AddControl(IDC_CONN_LOAD_ALL, RZ_MOVE_CORNER, 0);
    AddControl(IDC_CONN_SAVE_ALL, RZ_MOVE_CORNER, 0);
    AddControl(IDC_CONN_EXPORT_ONE, RZ_MOVE_CORNER, 0);
    AddControl(IDC_CONN_LIST, RZ_GROW_BOTH, 0);
    return TRUE;
}

void PageConnections::Deactivate() {
    m_list->SaveWidth(RegistryObject());
    CSmDialog::Deactivate();
}

void PageConnections::ReadProfiles() {
    m_reads->SetRing(ui::PostReadsAnswered(m_hwnd));
    m_storeRead = StoreRead::Reading;
    ShowStoreState();
    const std::wstring path = m_list->StorePath();
    m_reads->Start<conn::ProfileStore::LoadResult>([path] { return conn::ProfileStore(path).Load(); },
                                                   [this](conn::ProfileStore::LoadResult& loaded) {
                                                       m_storeRead = StoreRead::Done;
                                                       ShowStoreState();
                                                       m_list->ShowProfiles(std::move(loaded));
                                                   },
                                                   [this] {
                                                       m_storeRead = StoreRead::NoAnswer;
                                                       ShowStoreState();
                                                   },
                                                   kReadDeadline);
}

void PageConnections::ShowStoreState() {
    std::wstring caption = L"Stored Connections List";
    if (m_storeRead == StoreRead::Reading) caption += L" (reading the stored profiles...)";
    if (m_storeRead == StoreRead::NoAnswer)
        caption += L" (the stored profiles in " + m_list->StorePath() + L" do not answer)";
    ::SetDlgItemTextW(m_hwnd, IDC_CONN_CAPTION, caption.c_str());
}

void PageConnections::WatchStore() {
    const std::wstring path = m_list->StorePath();
    const std::size_t slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos) return;
    m_watch->SetRing(ui::PostChangesSeen(m_hwnd));
    // The store's own folder only: the lock and the files written beside
    // the store change there too, and any of them may be a save.
    m_watch->Watch({}, {}, {path.substr(0, slash)});
}

template <class Action>
void PageConnections::RunAction(Action action) {
    m_inAction = true;
    action();
    m_inAction = false;
    if (std::exchange(m_reloadWanted, false)) Refresh();
}

void PageConnections::Refresh() {
    // A list being renamed in or an action's dialog keeps what it works on.
    if (m_inAction || m_list->Send(LVM_GETEDITCONTROL)) {
        m_reloadWanted = true;
        return;
    }
    if (m_storeRead != StoreRead::Done) {
        ReadProfiles();
        return;
    }
    m_reads->SetRing(ui::PostReadsAnswered(m_hwnd));
    const std::wstring path = m_list->StorePath();
    m_reads->Start<conn::ProfileStore::LoadResult>(
        [path] { return conn::ProfileStore(path).Load(); },
        [this](conn::ProfileStore::LoadResult& loaded) {
            ApplyWhenPointerFree(m_list->Hwnd(),
                                 [this, loaded = std::move(loaded)]() mutable { ShowReloaded(loaded); });
        },
        [] {}, kReadDeadline);
}

void PageConnections::ShowReloaded(conn::ProfileStore::LoadResult& loaded) {
    if (m_inAction || m_list->Send(LVM_GETEDITCONTROL)) {
        m_reloadWanted = true;
        return;
    }
    // A store caught half written or locked shows again at its next change.
    if (!loaded.problem.empty()) return;
    std::wstring selected;
    const int row = m_list->GetSelected();
    if (const LPARAM index = row >= 0 ? m_list->GetItemData(row) : -1;
        index >= 0 && static_cast<std::size_t>(index) < m_list->Profiles().size())
        selected = m_list->Profiles()[static_cast<std::size_t>(index)].name;
    const int top = static_cast<int>(m_list->Send(LVM_GETTOPINDEX));
    const bool focused = ::GetFocus() == m_list->Hwnd();
    m_list->SetRedraw(false);
    m_list->ShowProfiles(std::move(loaded));
    const int count = m_list->GetItemCount();
    const int perPage = static_cast<int>(m_list->Send(LVM_GETCOUNTPERPAGE));
    // The rows that were at the top are at the top again.
    if (count > 0) {
        m_list->EnsureVisible(std::min(top + std::max(perPage, 1) - 1, count - 1), false);
        m_list->EnsureVisible(std::min(top, count - 1), false);
    }
    for (int r = 0; !selected.empty() && r < count; ++r) {
        const LPARAM index = m_list->GetItemData(r);
        if (index >= 0 && static_cast<std::size_t>(index) < m_list->Profiles().size() &&
            m_list->Profiles()[static_cast<std::size_t>(index)].name == selected) {
            m_list->Select(r);
            break;
        }
    }
    m_list->SetRedraw(true);
    ::InvalidateRect(m_list->Hwnd(), nullptr, TRUE);
    if (focused) ::SetFocus(m_list->Hwnd());
}

void PageConnections::OnReadsAnswered() { m_reads->RunFinished(); }

bool PageConnections::ProfilesRead() {
    if (m_storeRead == StoreRead::Done) return true;
    std::wstring text = L"The stored connection profiles in " + m_list->StorePath();
    if (m_storeRead == StoreRead::Reading) {
        text += L" are still being read.\nTry again when the list shows them.";
    } else {
        text +=
            L" did not answer, so nothing is saved, exported or loaded now.\nThey are being read again; try "
            L"again when the list shows them.";
        ReadProfiles();
    }
    ui::ShowMessageBox(m_hwnd, text.c_str(), g_connectionProfilesDescription.c_str(),
                       MB_OK | MB_ICONEXCLAMATION);
    return false;
}

void PageConnections::OnExportOne() {
    RunAction([this] {
        if (!ProfilesRead()) return;
        m_list->SaveOne(m_hwnd, g_connectionProfilesDescription);
    });
}

void PageConnections::OnSaveAll() {
    RunAction([this] {
        if (!ProfilesRead()) return;
        m_list->SaveAll(m_hwnd, g_connectionProfilesDescription);
    });
}

void PageConnections::OnLoadAll() {
    RunAction([this] {
        if (!ProfilesRead()) return;
        m_list->LoadAll(m_hwnd, g_connectionProfilesDescription);
    });
}

void PageConnections::OnOpenSelected() {
    RunAction([this] { OpenSelectedProfile(); });
}

void PageConnections::OpenSelectedProfile() {
    const std::wstring caption = LoadResourceString(IDS_CONN_CAPTION);
    const int row = m_list->GetSelected();
    if (row < 0) {
        ui::ShowMessageBox(m_hwnd, L"No profile was selected", caption.c_str(), MB_OK | MB_ICONHAND);
        return;
    }
    const LPARAM index = m_list->GetItemData(row);
    // A row whose index names no record (a list changed behind the page) must
    // not read past the collection.
    if (index < 0 || static_cast<std::size_t>(index) >= m_list->Profiles().size()) {
        ui::ShowMessageBox(m_hwnd, L"The selected profile is no longer stored.", caption.c_str(),
                           MB_OK | MB_ICONHAND);
        return;
    }
    m_list->ScreenToCinfo(row, static_cast<int>(index));
    const conn::PackResult packed = m_list->Profiles()[static_cast<std::size_t>(index)].Pack(L"??");
    if (!packed.ok()) {
        ui::ShowMessageBox(m_hwnd, packed.problem.c_str(), caption.c_str(), MB_OK | MB_ICONHAND);
        return;
    }
    const std::wstring arguments = L"-#" + packed.text;
    const std::wstring exe = os::ProgramFolder() + L"\\tb.exe";
    if (::_waccess(exe.c_str(), 0) != 0) {
        RunProduct(arguments);
    } else {
        ShellOpen(exe, arguments);
    }
}

void PageConnections::ShellOpen(const std::wstring& exe, const std::wstring& arguments) {
    ::ShellExecuteW(m_hwnd, L"open", exe.c_str(), arguments.c_str(), nullptr, SW_SHOWNORMAL);
}

void PageConnections::RunProduct(const std::wstring& arguments) {
    CLimit::RunProduct(ZELTO_PRODUCT(4), m_hwnd, arguments);
}
