// Searching the SQL library: its listing, walked in the background, and the
// scripts' text, searched in the background.
//
// The tree lists a folder only when the user opens it, but finding scripts by
// name needs every folder's names. The walk lists the location folder by
// folder on workers (os::BackgroundReads), a few folders at a time, each under
// a deadline: a folder on a share that does not answer is given up and
// counted, the others go on. Links and junctions are not followed (one that
// points back up would never end), and the walk stops at kMaxDepth levels and
// kMaxEntries entries, saying so.
//
// The text search reads the scripts the walk found, a few at a time, each on
// a worker under a deadline, decodes them as the preview does (UTF-8, UTF-16
// with its mark, or the ANSI code page, text::TextLines) and looks for the
// text ignoring case; a script that does not answer in time is skipped. The
// first match of each script is kept as a place the preview can select.
//
// Everything the owner is told (new scripts, a match, progress) runs on the
// owner's thread, when the page's handler for kAnswered calls RunFinished.
#pragma once

#include <windows.h>

#include <chrono>
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/os/BackgroundReads.h"
#include "platform/text/TextDecode.h"
#include "platform/ui/Reads.h"

class LibrarySearch {
public:
    // Posted to the owner's window when answers wait for RunFinished.
    static constexpr UINT kAnswered = ui::kSearchAnswered;
    static constexpr std::size_t kMaxDepth = 32;
    static constexpr std::size_t kMaxEntries = 200000;
    // Folders listed, and scripts read, at the same time.
    static constexpr std::size_t kInFlight = 4;

    struct Match {
        text::TextPos at;
        std::size_t length = 0;
    };

    explicit LibrarySearch(HWND owner);
    LibrarySearch(const LibrarySearch&) = delete;
    LibrarySearch& operator=(const LibrarySearch&) = delete;

    // How long one folder or one script may take (10 s unless a test says otherwise).
    void SetDeadline(std::chrono::milliseconds deadline) { m_deadline = deadline; }

    // Lists `root` again from the start; a search of the text ends.
    void Walk(const std::wstring& root);
    const std::wstring& Root() const { return m_root; }
    bool Walking() const { return m_walkOpen > 0 || !m_folders.empty(); }
    // The scripts found so far, full paths, in the order they were found.
    const std::vector<std::wstring>& Scripts() const { return m_scripts; }
    // Folders that gave no answer in time, and whether a limit stopped the walk.
    std::size_t FoldersNotAnswering() const { return m_foldersLost; }
    bool Capped() const { return m_capped; }

    // Searches the text of every script found (also those the walk finds
    // meanwhile) for `text`, ignoring case.
    void SearchText(const std::wstring& text);
    void CancelTextSearch();
    // Ends it and forgets what it found.
    void ClearTextSearch();
    bool Searching() const { return m_searching; }
    bool Cancelled() const { return m_cancelled; }
    std::size_t Searched() const { return m_searched; }
    std::size_t Skipped() const { return m_skipped; }
    std::size_t FoundCount() const { return m_matches.size(); }
    // The first match in a script the last search found, if any.
    std::optional<Match> MatchIn(const std::wstring& path) const;

    // Told on the owner's thread: scripts [first, Scripts().size()) are new;
    // a script matched; the counts changed.
    std::function<void(std::size_t first)> onScripts;
    std::function<void(const std::wstring& path)> onMatch;
    std::function<void()> onProgress;

    // Runs what answered; the owner calls it on kAnswered.
    void RunFinished() { m_reads.RunFinished(); }

    // The first match of `foldedText` (os::Folded) in a file, read and decoded
    // as the preview does; nothing when there is none or it cannot be read.
    static std::optional<Match> SearchFile(const std::wstring& path, const std::wstring& foldedText);

private:
    struct Entry {
        std::wstring name;
        bool folder = false;
    };
    struct Folder {
        std::wstring path;
        std::size_t depth = 0;
    };
    static std::vector<Entry> ListFolder(const std::wstring& folder);
    void StartFolders();
    void FolderListed(const Folder& folder, const std::vector<Entry>& entries);
    void FolderDone();
    void StartScripts();
    void ScriptDone();
    void CheckSearchDone();
    void ForgetRead(os::BackgroundReads::Id id);

    os::BackgroundReads m_reads;
    std::chrono::milliseconds m_deadline{10000};
    unsigned m_walkGeneration = 0;  // a new walk: the older one's answers are dropped

    std::wstring m_root;
    std::deque<Folder> m_folders;  // to be listed
    std::size_t m_walkOpen = 0;    // listings out
    std::size_t m_entries = 0;
    std::size_t m_foldersLost = 0;
    bool m_capped = false;
    std::vector<std::wstring> m_scripts;

    std::wstring m_text;  // folded
    bool m_searching = false;
    bool m_cancelled = false;
    std::size_t m_next = 0;  // the next script to read
    std::size_t m_searchOpen = 0;
    std::vector<os::BackgroundReads::Id> m_scriptReads;  // out
    std::size_t m_searched = 0;
    std::size_t m_skipped = 0;
    std::map<std::wstring, Match> m_matches;
};
