#include "platform/updates/CViewUpdates.h"

#include <wininet.h>

#include <cwchar>
#include <memory>
#include <stop_token>

#include "catalogue/Catalogue.h"
#include "platform/updates/FileUrl.h"
#include "platform/connection/ProfileFile.h"
#include "platform/updates/UpdateList.h"
#include "platform/os/Handle.h"
#include "platform/os/Os.h"
#include "platform/os/RegKey.h"
#include "platform/os/SystemError.h"
#include "platform/services/CLog.h"
#include "platform/services/CSysReg.h"
#include "platform/ui/Progress.h"
#include "platform/ui/Window.h"

namespace {

struct InternetHandleTraits {
    using Handle = HINTERNET;
    static bool Close(HINTERNET h) { return ::InternetCloseHandle(h) != FALSE; }
};
// A WinINet session or request; closing a session also ends the calls still blocked in it.
using InternetHandle = os::UniqueHandle<InternetHandleTraits>;

// Where the list is read from: a local path for file addresses, the web otherwise.
struct Source {
    std::wstring url;
    std::wstring path;
    bool isFile = false;
};

// What the worker found. It is the worker's own while it runs; the caller
// reads it only once the worker has finished, and never after a cancel or a
// deadline that gave the worker up.
struct Download {
    // Adds a piece of the list; false, and marked too large, once the list
    // would pass its limit.
    bool Append(const char* piece, DWORD got) {
        if (bytes.size() + got > updates::kMaxListBytes) {
            tooLarge = true;
            return false;
        }
        bytes.append(piece, got);
        return true;
    }

    std::string bytes;
    std::wstring error;
    bool tooLarge = false;
    bool timedOut = false;
};

// Schemes are compared ignoring case, as addresses are written either way.
bool HasScheme(const std::wstring& url, const wchar_t* scheme) {
    const int n = static_cast<int>(std::wcslen(scheme));
    return static_cast<int>(url.size()) >= n &&
           ::CompareStringOrdinal(url.c_str(), n, scheme, n, TRUE) == CSTR_EQUAL;
}

std::wstring WinInetError(DWORD code) {
    const std::wstring text = os::SystemErrorText(code, ::GetModuleHandleW(L"wininet.dll"));
    return text.empty() ? L"error " + std::to_wstring(code) : text;
}

InternetHandle OpenSession(DWORD timeoutMs, std::wstring& error) {
    InternetHandle session{
        ::InternetOpenW(ui::kAppCaption, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0)};
    if (!session) {
        error = L"The connection to the internet could not be prepared: " + WinInetError(::GetLastError());
        return session;
    }
    DWORD timeout = timeoutMs;
    for (DWORD option :
         {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT})
        ::InternetSetOptionW(session.Get(), option, &timeout, sizeof timeout);
    return session;
}

// On the worker, which owns its session and request and closes them itself
// when it is done: nothing is closed under a call still using it. A call
// that WinINet's own timeouts do not end (name resolution, a server that
// trickles) holds only the worker; the caller gives it up at the deadline.
void RunDownload(Download& d, const std::wstring& url, DWORD timeoutMs, const std::stop_token& stop) {
    const InternetHandle session = OpenSession(timeoutMs, d.error);
    if (!session) return;
    const bool secure = HasScheme(url, L"https:");
    const DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_UI |
                        INTERNET_FLAG_NO_COOKIES | (secure ? INTERNET_FLAG_SECURE : 0);
    const InternetHandle request{::InternetOpenUrlW(session.Get(), url.c_str(), nullptr, 0, flags, 0)};
    if (stop.stop_requested()) return;
    if (!request) {
        d.error = L"The update server could not be reached: " + WinInetError(::GetLastError());
        return;
    }
    DWORD status = 0, size = sizeof status;
    if (::HttpQueryInfoW(request.Get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                         nullptr) &&
        status != 200) {
        d.error = L"The update server answered with status " + std::to_wstring(status) + L".";
        return;
    }
    char buffer[8192];
    while (!stop.stop_requested()) {
        DWORD got = 0;
        if (!::InternetReadFile(request.Get(), buffer, sizeof buffer, &got)) {
            d.error = L"Reading the update list failed: " + WinInetError(::GetLastError());
            break;
        }
        if (got == 0 || !d.Append(buffer, got)) break;
    }
}

// On the worker: reads the list with overlapped calls, so that a share that
// stops answering in a read that can be cancelled is given up at the
// deadline or at a cancel; an open or a read that cannot be cancelled holds
// only the worker, which the caller gives up at the deadline.
void ReadLocalFile(Download& d, const std::wstring& path, ULONGLONG deadline, const std::stop_token& stop) {
    const os::KernelHandle file{::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                              nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr)};
    if (!file) {
        CLog::FormatLastError(d.error, 0);
        d.error =
            L"The update list " + CViewUpdates::ShownAddress(path) + L" could not be opened: " + d.error;
        return;
    }
    // The end of a file or a writer that closed its pipe ends the list; any
    // other failure is reported.
    auto failed = [&](DWORD code) {
        if (code == ERROR_HANDLE_EOF || code == ERROR_BROKEN_PIPE) return;
        CLog::FormatLastError(d.error, code);
        d.error = L"Reading the update list failed: " + d.error;
    };
    const os::KernelHandle event{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    const os::KernelHandle stopped{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    if (!event || !stopped) return failed(::GetLastError());
    // Runs on the thread that cancels; the event outlives this callback.
    const std::stop_callback onStop(stop, [h = stopped.Get()] { ::SetEvent(h); });
    HANDLE h = file.Get();
    char buffer[8192];
    ULONGLONG offset = 0;
    for (;;) {
        OVERLAPPED ov{};
        ov.Offset = static_cast<DWORD>(offset);
        ov.OffsetHigh = static_cast<DWORD>(offset >> 32);
        ov.hEvent = event.Get();
        ::ResetEvent(event.Get());
        DWORD got = 0;
        if (!::ReadFile(h, buffer, sizeof buffer, nullptr, &ov) && ::GetLastError() != ERROR_IO_PENDING)
            return failed(::GetLastError());
        const ULONGLONG now = ::GetTickCount64();
        const DWORD wait = now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
        const HANDLE waits[] = {event.Get(), stopped.Get()};
        const DWORD woke = ::WaitForMultipleObjects(2, waits, FALSE, wait);
        if (woke != WAIT_OBJECT_0) {
            ::CancelIoEx(h, &ov);
            ::GetOverlappedResult(h, &ov, &got, TRUE);
            d.timedOut = woke == WAIT_TIMEOUT;
            return;
        }
        if (!::GetOverlappedResult(h, &ov, &got, FALSE)) return failed(::GetLastError());
        if (got == 0 || !d.Append(buffer, got)) return;
        offset += got;
    }
}

// Accepts http, https and file addresses; a file address also yields its
// path, which must name a file: a device or a pipe is never opened.
bool CheckAddress(Source& source, std::wstring& error) {
    const std::wstring shown = CViewUpdates::ShownAddress(source.url);
    if (source.isFile) {
        if (!updates::FileUrlToPath(source.url, source.path)) {
            error = L"The update address " + shown + L" is not a valid file address.";
            return false;
        }
        if (os::NamesDevice(source.path)) {
            error = L"The update address " + shown +
                    L" names a device or a pipe, not a file, so it is not read. Name the file of the "
                    L"update list instead.";
            return false;
        }
        return true;
    }
    if (HasScheme(source.url, L"https://") || HasScheme(source.url, L"http://")) return true;
    error = L"The update address " + shown + L" is not an http, https or file address.";
    return false;
}

// A worker blocked where no timeout of its own reaches is given up this long
// after the deadline.
constexpr DWORD kGraceMs = 500;

}  // namespace

CViewUpdates::CViewUpdates() = default;

bool CViewUpdates::UpdateUrl(std::wstring& url, std::wstring& problem) const {
    os::RegKey key;
    if (key.Open(CSysReg().SubKey())) {
        // One character more than allowed, so that a longer text is seen as such.
        const os::RegValue value = key.Query(L"UpdateUrl", (kMaxUrlChars + 1) * sizeof(wchar_t));
        const std::wstring text =
            value.status == os::RegStatus::Ok ? os::RegText(value.data) : std::wstring();
        if (value.status == os::RegStatus::MoreData || text.size() > kMaxUrlChars) {
            problem =
                L"The UpdateUrl setting is longer than 2,048 characters and cannot be used. Shorten it, "
                L"or remove it to use the maker's address.";
            return false;
        }
        if (value.status == os::RegStatus::Ok && value.type != REG_SZ && value.type != REG_EXPAND_SZ) {
            problem =
                L"The UpdateUrl setting is not text and cannot be used. Set it as text (REG_SZ), or "
                L"remove it to use the maker's address.";
            return false;
        }
        if (!text.empty()) {
            url = text;
            return true;
        }
    }
    url = std::wstring(catalogue::kSiteBase) + L"quaylet/updates.txt";
    return true;
}

std::wstring CViewUpdates::ShownAddress(const std::wstring& url) {
    // Controls first (an address never needs one); the rest as profile names are shown.
    std::wstring out;
    for (wchar_t c : url) {
        if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) {
            wchar_t code[12];
            std::swprintf(code, 12, L"<U+%04X>", static_cast<unsigned>(c));
            out += code;
        } else {
            out.push_back(c);
        }
    }
    return conn::VisibleName(out);
}

int CViewUpdates::AskForUpdates(HWND owner) {
    m_owner = owner;
    m_asked.reset();
    std::wstring url, problem;
    if (!UpdateUrl(url, problem)) {
        ReportError(problem);
        return 0;
    }
    const std::wstring text =
        L"Zelto Quaylet will now connect to\n" + ShownAddress(url) +
        L"\nto find out whether newer versions of the installed products exist.\n\nContinue?";
    if (ui::ShowMessageBox(owner, text.c_str(), kCaption, MB_YESNO | MB_ICONQUESTION) != IDYES) return 0;
    m_asked = url;
    return 1;
}

void CViewUpdates::ReportError(const std::wstring& text) {
    ui::ShowMessageBox(m_owner, text.c_str(), kCaption, MB_OK | MB_ICONWARNING);
}

CViewUpdates::FetchEnd CViewUpdates::Fetch(const std::wstring& url, std::string& bytes, std::wstring& error) {
    Source source{url, {}, HasScheme(url, L"file:")};
    if (!CheckAddress(source, error)) return FetchEnd::Failed;

    auto d = std::make_shared<Download>();
    ui::ProgressOptions options;
    options.caption = kCaption;
    options.text = L"Reading the list of newer versions from " + ShownAddress(url);
    options.deadlineMs = m_timeoutMs + kGraceMs;
    const DWORD timeoutMs = m_timeoutMs;
    const ui::ProgressEnd end = ui::RunWithProgress(
        m_owner, options, [d, source, timeoutMs](const std::stop_token& stop, ui::ProgressReport&) {
            if (source.isFile)
                ReadLocalFile(*d, source.path, ::GetTickCount64() + timeoutMs, stop);
            else
                RunDownload(*d, source.url, timeoutMs, stop);
        });
    if (end == ui::ProgressEnd::Cancelled) return FetchEnd::Cancelled;
    if (end == ui::ProgressEnd::DeadlinePassed || d->timedOut) {
        error =
            (source.isFile ? L"The update list " + ShownAddress(source.path) + L" could not be read within "
                           : L"The update server did not answer within ") +
            std::to_wstring(m_timeoutMs / 1000) + L" seconds.";
        return FetchEnd::Failed;
    }
    if (d->tooLarge) {
        error = L"The update list is larger than expected and was not read.";
        return FetchEnd::Failed;
    }
    if (!d->error.empty()) {
        error = d->error;
        return FetchEnd::Failed;
    }
    bytes = std::move(d->bytes);
    return FetchEnd::Done;
}

int CViewUpdates::LoadUpdateFile(std::wstring& text) {
    text.clear();
    m_cancelled = false;
    std::wstring url, error;
    if (m_asked) {
        url = *m_asked;  // what the user agreed to, even if the setting changed since
        m_asked.reset();
    } else if (!UpdateUrl(url, error)) {
        ReportError(error);
        return 0;
    }
    std::string bytes;
    switch (Fetch(url, bytes, error)) {
    case FetchEnd::Cancelled: m_cancelled = true; return 0;
    case FetchEnd::Failed: ReportError(error); return 0;
    case FetchEnd::Done: break;
    }
    std::wstring decoded = updates::DecodeUtf8(bytes);
    if (!updates::Validate(decoded, error)) {
        ReportError(L"The update list from " + ShownAddress(url) + L" could not be used. " + error);
        return 0;
    }
    text = std::move(decoded);
    return 1;
}

int CViewUpdates::ReadString(std::wstring& version, std::wstring& spare, std::wstring& productName,
                             const std::wstring& text, size_t& pos) {
    return updates::ReadEntry(text, pos, productName, version, spare) ? 1 : 0;
}
