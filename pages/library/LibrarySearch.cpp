#include "pages/library/LibrarySearch.h"

#include <algorithm>
#include <memory>
#include <utility>

#include "platform/controls/CSQLTree.h"
#include "platform/os/Handle.h"
#include "platform/os/Os.h"
#include "platform/os/TextMatch.h"
#include "platform/preview/ColorEditWnd.h"

namespace {

// The file's bytes, up to the preview's limit; nothing when it cannot be read.
std::optional<std::vector<unsigned char>> ReadScript(const std::wstring& path) {
    // A device or a pipe is never opened: it may block or take what is another program's.
    if (os::NamesDevice(path)) return std::nullopt;
    const os::KernelHandle file(::CreateFileW(path.c_str(), GENERIC_READ,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                              OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    LARGE_INTEGER size{};
    if (!file || !::GetFileSizeEx(file.Get(), &size) || size.QuadPart < 0) return std::nullopt;
    const auto want = static_cast<std::size_t>(
        std::min<std::uint64_t>(static_cast<std::uint64_t>(size.QuadPart), ColorEditWnd::kMaxFileBytes));
    std::vector<unsigned char> bytes(want);
    std::size_t have = 0;
    while (have < want) {
        DWORD n = 0;
        const auto ask = static_cast<DWORD>(std::min<std::size_t>(want - have, 1u << 24));
        if (!::ReadFile(file.Get(), bytes.data() + have, ask, &n, nullptr)) return std::nullopt;
        if (n == 0) break;
        have += n;
    }
    bytes.resize(have);
    return bytes;
}

}  // namespace

LibrarySearch::LibrarySearch(HWND owner) {
    m_reads.SetRing([owner] { ::PostMessageW(owner, kAnswered, 0, 0); });
}

std::optional<LibrarySearch::Match> LibrarySearch::SearchFile(const std::wstring& path,
                                                              const std::wstring& foldedText) {
    if (foldedText.empty()) return std::nullopt;
    const std::optional<std::vector<unsigned char>> bytes = ReadScript(path);
    if (!bytes) return std::nullopt;
    text::TextLines lines;
    lines.SetAnsiConverter(ColorEditWnd::DecodeAnsi);
    lines.Assign(bytes->data(), bytes->size());
    std::wstring line;
    for (std::size_t i = 0; i < lines.LineCount(); ++i) {
        line.clear();
        lines.GetLine(i, line);
        const std::size_t at = os::FindFolded(line, foldedText);
        if (at != std::wstring::npos) return Match{text::TextPos{i, at}, foldedText.size()};
    }
    return std::nullopt;
}

std::vector<LibrarySearch::Entry> LibrarySearch::ListFolder(const std::wstring& folder) {
    std::vector<Entry> entries;
    for (const CSQLTree::Found& f : CSQLTree::ReadFolder(folder)) {
        // A link or junction may lead back up: the walk never follows one.
        if (f.folder && f.link) continue;
        entries.push_back({f.name, f.folder});
    }
    return entries;
}

void LibrarySearch::Walk(const std::wstring& root) {
    CancelTextSearch();
    m_reads.CancelAll();
    ++m_walkGeneration;
    m_root = root;
    m_folders.clear();
    m_walkOpen = 0;
    m_entries = 0;
    m_foldersLost = 0;
    m_capped = false;
    m_scripts.clear();
    m_matches.clear();
    m_searched = m_skipped = 0;
    m_cancelled = false;
    if (!root.empty()) m_folders.push_back({root, 0});
    StartFolders();
}

void LibrarySearch::StartFolders() {
    while (m_walkOpen < kInFlight && !m_folders.empty()) {
        const Folder folder = m_folders.front();
        m_folders.pop_front();
        ++m_walkOpen;
        const unsigned generation = m_walkGeneration;
        m_reads.Start<std::vector<Entry>>([path = folder.path] { return ListFolder(path); },
                                          [this, folder, generation](std::vector<Entry>& entries) {
                                              if (generation != m_walkGeneration) return;
                                              FolderListed(folder, entries);
                                              FolderDone();
                                          },
                                          [this, generation] {
                                              if (generation != m_walkGeneration) return;
                                              ++m_foldersLost;
                                              FolderDone();
                                          },
                                          m_deadline);
    }
}

void LibrarySearch::FolderListed(const Folder& folder, const std::vector<Entry>& entries) {
    const std::size_t first = m_scripts.size();
    for (const Entry& e : entries) {
        if (m_entries >= kMaxEntries) {
            m_capped = true;
            break;
        }
        ++m_entries;
        const std::wstring path = CSQLTree::Join(folder.path, e.name);
        if (!e.folder)
            m_scripts.push_back(path);
        else if (folder.depth + 1 < kMaxDepth)
            m_folders.push_back({path, folder.depth + 1});
        else
            m_capped = true;
    }
    if (m_scripts.size() > first && onScripts) onScripts(first);
}

void LibrarySearch::FolderDone() {
    --m_walkOpen;
    StartFolders();
    // Scripts the walk found meanwhile are searched too.
    if (m_searching) StartScripts();
    CheckSearchDone();
    if (onProgress) onProgress();
}

void LibrarySearch::SearchText(const std::wstring& text) {
    CancelTextSearch();
    m_text = os::Folded(text);
    m_matches.clear();
    m_searched = m_skipped = m_next = 0;
    m_cancelled = false;
    m_searching = !m_text.empty();
    StartScripts();
    CheckSearchDone();
    if (onProgress) onProgress();
}

void LibrarySearch::CancelTextSearch() {
    if (!m_searching) return;
    m_searching = false;
    m_cancelled = true;
    // Only the scripts' reads go; the walk's carry on.
    for (const os::BackgroundReads::Id id : m_scriptReads) m_reads.Cancel(id);
    m_scriptReads.clear();
    m_searchOpen = 0;
    if (onProgress) onProgress();
}

void LibrarySearch::ClearTextSearch() {
    CancelTextSearch();
    m_cancelled = false;
    m_searched = m_skipped = 0;
    m_matches.clear();
}

void LibrarySearch::StartScripts() {
    while (m_searching && m_searchOpen < kInFlight && m_next < m_scripts.size()) {
        const std::wstring path = m_scripts[m_next++];
        ++m_searchOpen;
        const std::shared_ptr<os::BackgroundReads::Id> id = std::make_shared<os::BackgroundReads::Id>(0);
        *id = m_reads.Start<std::optional<Match>>([path, text = m_text] { return SearchFile(path, text); },
                                                  [this, path, id](std::optional<Match>& match) {
                                                      ForgetRead(*id);
                                                      ++m_searched;
                                                      if (match) {
                                                          m_matches[path] = *match;
                                                          if (onMatch) onMatch(path);
                                                      }
                                                      ScriptDone();
                                                  },
                                                  [this, id] {
                                                      ForgetRead(*id);
                                                      ++m_searched;
                                                      ++m_skipped;
                                                      ScriptDone();
                                                  },
                                                  m_deadline);
        m_scriptReads.push_back(*id);
    }
}

void LibrarySearch::ForgetRead(os::BackgroundReads::Id id) {
    m_scriptReads.erase(std::remove(m_scriptReads.begin(), m_scriptReads.end(), id), m_scriptReads.end());
}

void LibrarySearch::ScriptDone() {
    --m_searchOpen;
    StartScripts();
    CheckSearchDone();
    if (onProgress) onProgress();
}

void LibrarySearch::CheckSearchDone() {
    if (m_searching && m_searchOpen == 0 && m_next >= m_scripts.size() && !Walking()) m_searching = false;
}

std::optional<LibrarySearch::Match> LibrarySearch::MatchIn(const std::wstring& path) const {
    const auto it = m_matches.find(path);
    if (it == m_matches.end()) return std::nullopt;
    return it->second;
}
