// The products page's reads of the programs' files. The registry says where a
// product's program is; the look at that path and the read of the program's
// version run in the background, since the program may lie on a share that
// stopped answering. A row shows what is known and is laid out again when a
// read answers; versions come from the cache as long as the file's time and
// size stay the same.
#include <windows.h>

#include <chrono>
#include <initializer_list>
#include <vector>

#include "pages/products/PageProducts.h"
#include "platform/os/Os.h"
#include "platform/ui/Reads.h"
#include "resources/resource.h"

namespace {

// A look or a version read that has not answered by then is given up on, and
// the row says that the program's folder does not answer.
constexpr std::chrono::milliseconds kReadDeadline{10000};

}  // namespace

std::size_t PageProducts::IndexOf(const ProductEntry& entry) const {
    return static_cast<std::size_t>(&entry - m_entries.data());
}

PageProducts::RowState PageProducts::StateOf(const ProductEntry& entry) const {
    const ProgramCheck& c = m_checks[IndexOf(entry)];
    if (c.path.empty()) return RowState::Missing;
    if (!c.answered) return RowState::Unknown;
    return c.found ? RowState::Found : RowState::Missing;
}

void PageProducts::Recheck(std::size_t i) {
    ProductEntry& entry = m_entries[i];
    ProgramCheck& c = m_checks[i];
    const std::optional<std::wstring> path = RecordedExePath(entry, os::Registry());
    if (!path || *path != c.path) {
        // Another program or none: nothing known of the old one holds.
        m_reads.Cancel(c.look);
        m_reads.Cancel(c.version);
        c = ProgramCheck{};
        if (path) c.path = *path;
    }
    entry.installed = 0;
    if (c.path.empty()) return;
    if (c.answered) ApplyDetection(entry, c.path, c.found);
    // What is known shows at once; the program is looked at again, since it
    // may have been removed or replaced since.
    if (!m_reads.Waiting(c.look)) LookAt(i);
}

void PageProducts::Refresh() {
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        const std::wstring before = m_checks[i].path;
        Recheck(i);
        // A product removed shows so at once; one installed or moved when its look answers.
        if (m_checks[i].path != before) m_changed.set(i);
    }
    ShowChangedRows();
}

void PageProducts::WatchProductKeys() {
    // An installer records a product's program in its key; the programs'
    // folders are not watched (one may be a whole drive).
    std::vector<std::wstring> keys;
    for (const ProductEntry& entry : m_entries)
        if (!entry.regPath.empty()) keys.push_back(entry.regPath);
    m_watch.SetRing(ui::PostChangesSeen(m_hwnd));
    m_watch.Watch(std::move(keys), {});
}

void PageProducts::LookAt(std::size_t i) {
    const std::wstring path = m_checks[i].path;
    m_checks[i].look = m_reads.Start<std::optional<os::PathFacts>>(
        [path] { return os::PathFactsOf(path); },
        [this, i, path](std::optional<os::PathFacts>& facts) { OnLooked(i, path, facts); },
        [this, i, path] {
            ProgramCheck& c = m_checks[i];
            if (c.path != path || c.noAnswer) return;
            c.noAnswer = true;
            m_changed.set(i);
        },
        kReadDeadline);
}

void PageProducts::OnLooked(std::size_t i, const std::wstring& path,
                            const std::optional<os::PathFacts>& looked) {
    ProgramCheck& c = m_checks[i];
    if (c.path != path) return;
    const bool found = looked.has_value();
    const std::optional<os::FileFacts> facts =
        found && !looked->folder ? std::optional<os::FileFacts>(looked->file) : std::nullopt;
    if (!c.answered || c.noAnswer || c.found != found || c.facts != facts) m_changed.set(i);
    c.answered = true;
    c.noAnswer = false;
    c.found = found;
    c.facts = facts;
    ApplyDetection(m_entries[i], path, found);
    // A changed file (path, time or size) has its version read again.
    if (facts && !m_versions.Find(path, *facts)) ReadVersion(i);
}

void PageProducts::ReadVersion(std::size_t i) {
    ProgramCheck& c = m_checks[i];
    if (m_reads.Waiting(c.version)) return;
    const std::wstring path = c.path;
    const os::FileFacts facts = *c.facts;
    c.version = m_reads.Start<std::optional<os::FixedVersion>>(
        [path] { return os::FixedVersionOf(path); },
        [this, i, path, facts](std::optional<os::FixedVersion>& version) {
            OnVersion(i, path, facts, version);
        },
        [this, i, path] {
            ProgramCheck& check = m_checks[i];
            if (check.path != path) return;
            check.versionNoAnswer = true;
            m_changed.set(i);
        },
        kReadDeadline);
}

void PageProducts::OnVersion(std::size_t i, const std::wstring& path, const os::FileFacts& facts,
                             const std::optional<os::FixedVersion>& version) {
    // A failed read is not remembered: the file may be half written or
    // locked by its installer, and the next relayout asks again.
    if (!version) return;
    m_versions.Remember(path, facts, *version);
    ProgramCheck& c = m_checks[i];
    if (c.path != path || c.facts != facts) return;
    c.versionNoAnswer = false;
    m_changed.set(i);
}

void PageProducts::OnReadsAnswered() {
    m_reads.RunFinished();
    ShowChangedRows();
}

void PageProducts::ShowChangedRows() {
    if (m_changed.none()) return;
    // A row that comes or goes under the filter moves the rows below it.
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        const bool shown = !m_showInstalledOnly || StateOf(m_entries[i]) != RowState::Missing;
        if (m_changed[i] && shown != static_cast<bool>(m_entries[i].controls)) {
            m_changed.reset();
            LayOutShownRows();
            return;
        }
    }
    // Otherwise only the changed rows are made again, where they are.
    int row = 0;
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        ProductEntry& entry = m_entries[i];
        if (!entry.controls) continue;
        if (m_changed[i]) {
            // The keyboard stays on the row while its windows are made again.
            HWND focus = ::GetFocus();
            const RowControls& old = *entry.controls;
            const bool hadFocus = focus && (focus == old.iconButton->Hwnd() ||
                                            (old.helpLink && focus == old.helpLink->Hwnd()) ||
                                            (old.updateLink && focus == old.updateLink->Hwnd()));
            LayoutRow(entry, row);
            PutRowInTabOrder(entry);
            if (hadFocus) {
                HWND icon = entry.controls->iconButton->Hwnd();
                Send(WM_NEXTDLGCTL,
                     reinterpret_cast<WPARAM>(::IsWindowEnabled(icon) ? icon
                                                                      : entry.controls->helpLink->Hwnd()),
                     TRUE);
            }
        }
        ++row;
    }
    m_changed.reset();
    // A longer version text can move the links of every row.
    AlignLinks();
    m_tips.FollowControls();
}

void PageProducts::PutRowInTabOrder(const ProductEntry& entry) {
    // A row made again goes where the whole layout puts it: after the row
    // above it, in the order its controls are made.
    HWND after = Item(IDC_SHOW_INSTALLED_ONLY);
    for (const ProductEntry& above : m_entries) {
        if (&above == &entry) break;
        if (above.controls && above.controls->helpLink) after = above.controls->helpLink->Hwnd();
    }
    const RowControls& c = *entry.controls;
    for (const ui::Window* w : {static_cast<const ui::Window*>(c.iconButton.get()),
                                static_cast<const ui::Window*>(c.nameLabel.get()),
                                static_cast<const ui::Window*>(c.descriptionLabel.get()),
                                static_cast<const ui::Window*>(c.updateLink.get()),
                                static_cast<const ui::Window*>(c.versionLabel.get()),
                                static_cast<const ui::Window*>(c.helpLink.get())}) {
        if (!w || !w->Hwnd()) continue;
        ::SetWindowPos(w->Hwnd(), after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        after = w->Hwnd();
    }
}
