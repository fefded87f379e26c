// The preview's loading and its background work: a script is opened and read
// on a worker (text::TextReader), and what arrives is taken up on a timer in
// slices of a few tens of milliseconds, with the copy that is under way and
// the colouring states of lines far down.
#include <algorithm>
#include <climits>
#include <memory>

#include "platform/preview/ColorEditWnd.h"
#include "platform/os/Handle.h"
#include "platform/os/Os.h"
#include "platform/services/CLog.h"

namespace {

// One slice of background work keeps the interface thread at most about this busy.
constexpr double kSliceMs = 25;

std::wstring MegaBytes(std::uint64_t bytes) { return std::to_wstring((bytes + (1u << 19)) >> 20) + L" MB"; }

// Opens a script on the reader's worker: the file is owned by the read
// function, and so closed when the reading ends, fails or is given up.
text::TextReader::OpenSource OpenScript(const std::wstring& path) {
    return [path] {
        text::TextReader::Source source;
        auto file = std::make_shared<os::KernelHandle>(
            ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                          nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        LARGE_INTEGER size{};
        if (!*file || !::GetFileSizeEx(file->Get(), &size) || size.QuadPart < 0) {
            source.error = std::max<DWORD>(::GetLastError(), ERROR_OPEN_FAILED);
            return source;
        }
        source.size = static_cast<std::uint64_t>(size.QuadPart);
        source.read = [file](std::uint64_t offset, unsigned char* into, std::size_t ask,
                             std::size_t& got) -> std::uint32_t {
            // Every read says where it starts: a synchronous read at an offset.
            OVERLAPPED at{};
            at.Offset = static_cast<DWORD>(offset);
            at.OffsetHigh = static_cast<DWORD>(offset >> 32);
            DWORD n = 0;
            if (!::ReadFile(file->Get(), into, static_cast<DWORD>(std::min<std::size_t>(ask, 1u << 30)), &n,
                            &at)) {
                // At or past the end of the file a read at an offset fails with
                // this rather than reading nothing.
                const DWORD error = ::GetLastError();
                if (error != ERROR_HANDLE_EOF) return std::max<DWORD>(error, ERROR_READ_FAULT);
                n = 0;
            }
            got = n;
            return 0;
        };
        return source;
    };
}

}  // namespace

int ColorEditWnd::Fail(const wchar_t* what, DWORD error) {
    std::wstring reason;
    CLog::FormatLastError(reason, error);
    std::wstring text = std::wstring(what) + L"\n\n" + m_path;
    if (!reason.empty()) text += L"\n\n" + reason;
    ShowMessage(text);
    return 0;
}

int ColorEditWnd::LoadFile(const std::wstring& path) {
    Reset();
    m_path = path;
    // COM1.sql, NUL.sql, CON.sql ... name devices in any folder: opening one
    // may wait for a peer or a console without end, or read from a port.
    if (os::NamesDevice(path)) {
        ShowMessage(
            L"This script is not shown: Windows reserves its name for a device (such as COM1, "
            L"NUL, AUX or CON), so it is not opened.\n\n" +
            path);
        return 0;
    }
    HWND hwnd = m_hwnd;
    m_reader.Start(OpenScript(path), m_fileLimit, [hwnd] { ::PostMessageW(hwnd, kReadNews, 0, 0); });
    // A script that answers shows its first screen at once; one that does not
    // says that it is being read, and the window goes on meanwhile.
    m_reader.WaitFor(kFirstBytes, m_firstWaitMs);
    if (!TakeRead(kFirstBytes)) return m_message.empty() ? 1 : 0;
    if (!m_reader.Done()) m_note = L"Reading the script...";
    AfterLoad(0);
    return 1;
}

// Indexes what the worker has read, up to `total` bytes; once the first
// kFirstBytes are there, the window turns from the empty text to the script.
// False while the script is still being opened (the note says so) and after
// a failure (the message says what failed).
bool ColorEditWnd::TakeRead(std::size_t total) {
    const auto status = m_reader.ReadUpTo(total);
    using Status = text::TextReader::Status;
    if (status == Status::Opening) {
        if (m_note.empty()) {
            m_note = L"Reading the script...";
            AfterLoad(0);
        }
        return false;
    }
    if (status == Status::NoMemory) {
        ShowMessage(L"This script is too large to preview with the memory available.\n\n" + m_path + L"\n\n" +
                    MegaBytes(m_reader.FileSize()));
        return false;
    }
    if (status == Status::OpenError) {
        Fail(L"This script cannot be opened.", m_reader.Error());
        return false;
    }
    if (!HandleStatus(status)) return false;
    // The script replaces the empty text once its encoding is decided: the
    // first screen is shown as it stays.
    if (m_shows == Shows::OwnText && m_reader.Opened() && m_reader.Lines().LineCount() > 0 &&
        (m_reader.Done() || m_reader.Have() >= std::min(kFirstBytes, m_reader.Want()))) {
        m_shows = Shows::File;
        m_textLines.Clear();
        AfterLoad(0);
    }
    return true;
}

// Notes a text cut short once it is read and shows a read error; false after one.
bool ColorEditWnd::HandleStatus(text::TextReader::Status status) {
    using Status = text::TextReader::Status;
    if (status == Status::ReadError) {
        Fail(L"This script cannot be read.", m_reader.Error());
        return false;
    }
    if (status == Status::Done) {
        m_note = m_reader.Cut() ? L"The preview shows the first " + MegaBytes(m_reader.Want()) +
                                      L" of this " + MegaBytes(m_reader.FileSize()) + L" script."
                                : std::wstring();
    }
    return true;
}

void ColorEditWnd::AfterStep() {
    if (Lines().EncodingChanges() != m_encodingChanges) {
        // A byte far into the file showed the encoding to be another: once.
        m_encodingChanges = Lines().EncodingChanges();
        m_states.Reset(LineCount());
        // What was copied so far was decoded the old way.
        if (const CopyJob* job = RunningCopy()) StartCopy(job->copier.From(), job->copier.To());
    }
    m_states.Extend(LineCount());
    const std::size_t longest = std::min<std::size_t>(Lines().LongestLine(), INT_MAX / 64);
    m_contentWidth = std::max<int>(m_contentWidth, static_cast<int>(longest) * m_charWidth + m_charWidth);
    const std::size_t last = LineCount() - 1;
    if (m_caret.line > last || m_anchor.line > last) m_caret = m_anchor = Pos{last, 0};
    m_layout = Layout{};
    SetTop(static_cast<std::ptrdiff_t>(m_top));
    UpdateScrollBars();
    if (m_hwnd) ::InvalidateRect(m_hwnd, nullptr, FALSE);
}

void ColorEditWnd::FinishLoading() {
    // In steps as the bytes arrive, so that each is indexed while still in the cache.
    while (!m_reader.Done()) {
        m_reader.WaitFor(m_reader.Have() + text::TextReader::kChunk, -1);
        if (!TakeRead(m_reader.Have() + text::TextReader::kChunk) && m_reader.Done()) return;  // failed
    }
    AfterStep();
    RunPending();
}

void ColorEditWnd::StartWork() {
    if (!m_hwnd || m_work == Work::Running) return;
    m_work = Work::Running;
    ::SetTimer(m_hwnd, kWorkTimer, USER_TIMER_MINIMUM, nullptr);
}

// One slice of background work; false when nothing is left.
bool ColorEditWnd::DoWork() {
    const double start = NowMs();
    if (const CopyJob* job = RunningCopy()) {
        // The user waits for a copy; the reading goes on after it, which
        // also keeps the lines being copied as they are.
        if (CopySlice(start + kSliceMs)) {
            FinishCopy();
        } else {
            SetProgress(L"Copying... " + std::to_wstring(job->copier.Percent()) + L" %");
        }
        return true;
    }
    if (!m_reader.Done()) {
        // What the worker has read is indexed in chunks for one slice of time
        // at most; when it has nothing new, the work waits for its news.
        const std::size_t had = m_reader.Have();
        std::size_t before = had;
        do {
            before = m_reader.Have();
            if (!TakeRead(before + text::TextReader::kChunk)) return false;
        } while (!m_reader.Done() && m_reader.Have() > before && NowMs() - start < kSliceMs);
        if (!m_reader.Done())
            m_note = L"Reading the script... " + std::to_wstring(m_reader.Percent()) + L" %";
        AfterStep();
        if (m_reader.Done()) RunPending();
        return m_reader.Done() || m_reader.Have() > had;
    }
    if (!Colouring()) return false;
    // The colouring state of lines far down, learnt a slice at a time so that
    // a jump there finds it ready.
    const bool wasNear = m_states.Near(m_top);
    bool more = true;
    while (more && NowMs() - start < kSliceMs)
        more = m_states.ScanAhead(4 * ColorStateCache::kInterval, *m_colorizer, StateSource());
    if (!wasNear && m_states.Near(m_top) && m_hwnd) ::InvalidateRect(m_hwnd, nullptr, FALSE);
    return more;
}

void ColorEditWnd::OnTimer(UINT_PTR id) {
    if (id == kWorkTimer && !DoWork()) {
        ::KillTimer(m_hwnd, kWorkTimer);
        m_work = Work::Idle;
    }
}

void ColorEditWnd::RunPending() {
    const Pending pending = m_pending;
    m_pending = Pending::None;
    const std::size_t last = LineCount() - 1;
    switch (pending) {
    case Pending::None: break;
    case Pending::End: MoveCaret(Pos{last, LineLength(last)}, false); break;
    case Pending::ExtendToEnd: MoveCaret(Pos{last, LineLength(last)}, true); break;
    case Pending::SelectAll: SetSelection(Pos{0, 0}, Pos{last, LineLength(last)}); break;
    case Pending::Bottom: SetTop(static_cast<std::ptrdiff_t>(TotalRows())); break;
    }
    if (const auto* waiting = std::get_if<CopyWhenRead>(&m_copying))
        StartCopy(waiting->from, Pos{last, LineLength(last)});
}
