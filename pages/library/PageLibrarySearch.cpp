// The SQL library page's search: the box above the tree, the button that
// searches the scripts' text, and the line that says how far it got.
#include <algorithm>

#include "pages/library/LibrarySearch.h"
#include "pages/library/PageLibrary.h"
#include "platform/os/TextMatch.h"
#include "resources/resource.h"

namespace {

constexpr UINT_PTR kMarkTimer = 0x5E1;
constexpr UINT_PTR kRevealTimer = 0x5E2;
constexpr UINT kTimerMs = 100;
// How long a script chosen before the box was emptied is looked for in the tree.
constexpr int kRevealTries = 50;

const wchar_t kSearchText[] = L"Search Text";
const wchar_t kCancel[] = L"Cancel";

// 10000 as "10,000".
std::wstring Grouped(std::size_t n) {
    std::wstring digits = std::to_wstring(n), out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i && (digits.size() - i) % 3 == 0) out.push_back(L',');
        out.push_back(digits[i]);
    }
    return out;
}

std::wstring NameOf(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::wstring WindowText(HWND hwnd) {
    const int length = ::GetWindowTextLengthW(hwnd);
    std::wstring text(static_cast<std::size_t>(std::max(length, 0)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(::GetWindowTextW(hwnd, text.data(), length + 1)));
    return text;
}

}  // namespace

void PageLibrary::SetUpSearch() {
    m_finder = std::make_unique<LibrarySearch>(m_hwnd);
    m_finder->onScripts = [this](std::size_t first) { AddNameMatches(first); };
    m_finder->onMatch = [this](const std::wstring& path) {
        AddFound(path);
        m_tree.SortFound();
    };
    m_finder->onProgress = [this] { ShowStatus(); };
    m_search.Send(EM_SETCUEBANNER, TRUE, reinterpret_cast<LPARAM>(L"Search scripts"));
    m_names.Set(m_search.Hwnd(), L"Search the SQL library");
    if (m_tips.Create(m_hwnd)) {
        m_tips.Add(m_search.Hwnd(),
                   L"Shows only the scripts whose name holds this text; Enter also searches "
                   L"their text (Esc clears it)");
        m_tips.Add(m_searchButton.Hwnd(),
                   L"Searches the text of every script in the library for the search "
                   L"box's text");
    }
}

bool PageLibrary::FocusSearch() {
    if (!m_search || !::IsWindowVisible(m_hwnd)) return false;
    // Through the dialog manager, so that a button that had the focus stops being the default.
    Send(WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(m_search.Hwnd()), TRUE);
    m_search.Send(EM_SETSEL, 0, -1);
    return true;
}

void PageLibrary::OnOK() {
    if (::GetFocus() == m_search.Hwnd()) SearchText();
}

void PageLibrary::OnCancel() {
    if (m_finder && m_finder->Searching()) {
        m_finder->CancelTextSearch();
    } else if (::GetFocus() == m_search.Hwnd() && ::GetWindowTextLengthW(m_search.Hwnd()) > 0) {
        ::SetWindowTextW(m_search.Hwnd(), L"");
    }
}

void PageLibrary::OnSearchButton() {
    if (m_finder && m_finder->Searching())
        m_finder->CancelTextSearch();
    else
        SearchText();
}

void PageLibrary::OnSearchChange() {
    const std::wstring filter = os::Folded(WindowText(m_search.Hwnd()));
    if (filter == m_filter) return;
    // New words: what an earlier search of the text found no longer applies.
    if (m_finder) m_finder->ClearTextSearch();
    const bool fresh = m_filter.empty();
    m_filter = filter;
    // A search that starts afresh lists the library again, so that it finds what was added since.
    if (fresh && !m_filter.empty() && m_finder) m_finder->Walk(WindowText(m_location.Hwnd()));
    ApplyFilter();
}

void PageLibrary::SearchText() {
    if (!m_finder || m_filter.empty()) return;
    const std::wstring root = WindowText(m_location.Hwnd());
    if (m_finder->Root() != root) m_finder->Walk(root);
    m_finder->SearchText(WindowText(m_search.Hwnd()));
    ApplyFilter();
}

void PageLibrary::ApplyFilter() {
    if (!m_finder) return;
    if (m_filter.empty()) {
        m_finder->ClearTextSearch();
        if (m_showingFound) {
            m_showingFound = false;
            FillTree();
            RevealSelected();
        }
        ShowStatus();
        return;
    }
    const std::wstring root = WindowText(m_location.Hwnd());
    if (m_finder->Root() != root) m_finder->Walk(root);
    m_revealing = false;
    m_tree.BeginFound();
    m_showingFound = true;
    AddNameMatches(0);
    for (const std::wstring& path : m_finder->Scripts())
        if (m_finder->MatchIn(path)) AddFound(path);
    m_tree.SortFound();
    if (const std::size_t entry = m_tree.EntryOfPath(m_selected); entry < m_tree.m_paths.size())
        Reselect(entry);
    ShowStatus();
}

void PageLibrary::AddFound(const std::wstring& path) {
    if (m_showingFound) m_tree.AddFound(m_finder->Root(), path);
}

void PageLibrary::AddNameMatches(std::size_t first) {
    if (!m_showingFound || m_filter.empty()) return;
    const std::vector<std::wstring>& scripts = m_finder->Scripts();
    m_tree.SetRedraw(false);
    for (std::size_t i = first; i < scripts.size(); ++i)
        if (os::FindFolded(NameOf(scripts[i]), m_filter) != std::wstring::npos) AddFound(scripts[i]);
    m_tree.SortFound();
    m_tree.SetRedraw(true);
    ::InvalidateRect(m_tree.Hwnd(), nullptr, TRUE);
}

void PageLibrary::OnSearchAnswered() {
    if (m_finder) m_finder->RunFinished();
}

std::wstring PageLibrary::StatusText() const {
    if (!m_finder || (m_filter.empty() && !m_finder->Searching())) return std::wstring();
    const LibrarySearch& f = *m_finder;
    const std::size_t all = f.Scripts().size();
    std::wstring text;
    if (f.Searching() || f.Cancelled() || f.Searched() > 0) {
        text = (f.Cancelled() ? L"Stopped: " : L"") +
               (f.Searching() || f.Cancelled() ? Grouped(f.Searched()) + L" of " : std::wstring()) +
               Grouped(all) + L" scripts searched, " + Grouped(f.FoundCount()) + L" found";
        if (f.Skipped()) text += L", " + Grouped(f.Skipped()) + L" did not answer";
    } else {
        std::size_t names = 0;
        for (const std::wstring& path : f.Scripts())
            if (os::FindFolded(NameOf(path), m_filter) != std::wstring::npos) ++names;
        text = Grouped(names) + L" of " + Grouped(all) + L" scripts match";
    }
    if (f.Walking()) text += L" (listing the library...)";
    if (f.FoldersNotAnswering()) text += L"; " + Grouped(f.FoldersNotAnswering()) + L" folders do not answer";
    if (f.Capped()) text += L"; listing stopped at 32 levels or 200,000 entries";
    return text;
}

void PageLibrary::ShowStatus() {
    if (m_status) ::SetWindowTextW(m_status.Hwnd(), StatusText().c_str());
    if (m_searchButton) {
        const wchar_t* label = m_finder && m_finder->Searching() ? kCancel : kSearchText;
        if (WindowText(m_searchButton.Hwnd()) != label) ::SetWindowTextW(m_searchButton.Hwnd(), label);
    }
}

void PageLibrary::MarkMatch() {
    m_marking = m_selected;
    ::KillTimer(m_hwnd, kMarkTimer);
    const std::optional<LibrarySearch::Match> match = m_finder ? m_finder->MatchIn(m_selected) : std::nullopt;
    if (!match || !m_preview) return;
    // The match's line may not be read yet: it is marked once it is.
    const bool lineRead = m_preview->LineCount() > match->at.line + 1 || !m_preview->Loading();
    if (!lineRead) {
        ::SetTimer(m_hwnd, kMarkTimer, kTimerMs, nullptr);
        return;
    }
    if (m_preview->Message().empty() && match->at.line < m_preview->LineCount())
        m_preview->SetSelection(match->at, text::TextPos{match->at.line, match->at.unit + match->length});
    m_marking.clear();
}

void PageLibrary::OnTimer(UINT_PTR id) {
    if (id == kMarkTimer) {
        if (m_marking == m_selected)
            MarkMatch();
        else
            ::KillTimer(m_hwnd, kMarkTimer);
    } else if (id == kRevealTimer) {
        RevealSelected();
    } else {
        Decline();
    }
}

void PageLibrary::RevealSelected() {
    if (!m_revealing) {
        m_revealing = !m_selected.empty();
        m_revealTries = 0;
    }
    ::KillTimer(m_hwnd, kRevealTimer);
    if (!m_revealing || m_showingFound || ++m_revealTries > kRevealTries) {
        m_revealing = false;
        return;
    }
    const std::vector<std::wstring>& paths = m_tree.m_paths;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        if (paths[i] == m_selected) {
            m_revealing = false;
            Reselect(i);
            return;
        }
        // A folder on the way is opened; its contents answer later.
        const bool onTheWay = m_tree.m_kinds[i] == CSQLTree::kDirectoryKind &&
                              m_selected.size() > paths[i].size() &&
                              m_selected.compare(0, paths[i].size(), paths[i]) == 0 &&
                              (m_selected[paths[i].size()] == L'\\' || m_selected[paths[i].size()] == L'/');
        if (onTheWay) m_tree.Expand(m_tree.ItemOf(i), TVE_EXPAND);
    }
    ::SetTimer(m_hwnd, kRevealTimer, kTimerMs, nullptr);
}

void PageLibrary::Reselect(std::size_t entry) {
    m_reselecting = true;
    m_tree.SelectItem(m_tree.ItemOf(entry));
    m_reselecting = false;
}
