#include "platform/framework/CViewUpdates.h"

#include <wininet.h>

#include <cwchar>
#include <memory>
#include <thread>

#include "catalogue/Catalogue.h"
#include "platform/framework/FileUrl.h"
#include "platform/framework/UpdateList.h"
#include "platform/os/Handle.h"
#include "platform/os/SystemError.h"
#include "platform/services/CLog.h"
#include "platform/services/CSysReg.h"
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

// State shared between the caller and the download thread, which may outlive
// a caller that gave up waiting.
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

    os::KernelHandle done{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
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

// The session is owned by the caller, which closes it at its deadline to end a
// call that is still blocked here.
void RunDownload(const std::shared_ptr<Download>& d, HINTERNET session, const std::wstring& url) {
    const bool secure = HasScheme(url, L"https:");
    const DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_UI |
                        INTERNET_FLAG_NO_COOKIES | (secure ? INTERNET_FLAG_SECURE : 0);
    const InternetHandle request{::InternetOpenUrlW(session, url.c_str(), nullptr, 0, flags, 0)};
    if (!request) {
        d->error = L"The update server could not be reached: " + WinInetError(::GetLastError());
        return;
    }
    DWORD status = 0, size = sizeof status;
    if (::HttpQueryInfoW(request.Get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                         nullptr) &&
        status != 200) {
        d->error = L"The update server answered with status " + std::to_wstring(status) + L".";
        return;
    }
    char buffer[8192];
    for (;;) {
        DWORD got = 0;
        if (!::InternetReadFile(request.Get(), buffer, sizeof buffer, &got)) {
            d->error = L"Reading the update list failed: " + WinInetError(::GetLastError());
            break;
        }
        if (got == 0 || !d->Append(buffer, got)) break;
    }
}

// Reads the list with overlapped calls so that a share or pipe that stops
// answering is given up at the deadline; the caller's own wait covers an
// open that does not return at all.
void ReadLocalFile(const std::shared_ptr<Download>& d, const std::wstring& path, ULONGLONG deadline) {
    const os::KernelHandle file{::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                              nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr)};
    if (!file) {
        CLog::FormatLastError(d->error, 0);
        d->error = L"The update list " + path + L" could not be opened: " + d->error;
        return;
    }
    // The end of a file or a writer that closed its pipe ends the list; any
    // other failure is reported.
    auto failed = [&](DWORD code) {
        if (code == ERROR_HANDLE_EOF || code == ERROR_BROKEN_PIPE) return;
        CLog::FormatLastError(d->error, code);
        d->error = L"Reading the update list failed: " + d->error;
    };
    const os::KernelHandle event{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    if (!event) failed(::GetLastError());
    HANDLE h = file.Get();
    char buffer[8192];
    ULONGLONG offset = 0;
    while (event) {
        OVERLAPPED ov{};
        ov.Offset = static_cast<DWORD>(offset);
        ov.OffsetHigh = static_cast<DWORD>(offset >> 32);
        ov.hEvent = event.Get();
        ::ResetEvent(event.Get());
        DWORD got = 0;
        if (!::ReadFile(h, buffer, sizeof buffer, nullptr, &ov) && ::GetLastError() != ERROR_IO_PENDING) {
            failed(::GetLastError());
            break;
        }
        const ULONGLONG now = ::GetTickCount64();
        const DWORD wait = now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
        if (::WaitForSingleObject(event.Get(), wait) != WAIT_OBJECT_0) {
            ::CancelIoEx(h, &ov);
            ::GetOverlappedResult(h, &ov, &got, TRUE);
            d->timedOut = true;
            break;
        }
        if (!::GetOverlappedResult(h, &ov, &got, FALSE)) {
            failed(::GetLastError());
            break;
        }
        if (got == 0 || !d->Append(buffer, got)) break;
        offset += got;
    }
}

// Accepts http, https and file addresses; a file address also yields its path.
bool CheckAddress(Source& source, std::wstring& error) {
    if (source.isFile) {
        if (updates::FileUrlToPath(source.url, source.path)) return true;
        error = L"The update address " + source.url + L" is not a valid file address.";
        return false;
    }
    if (HasScheme(source.url, L"https://") || HasScheme(source.url, L"http://")) return true;
    error = L"The update address " + source.url + L" is not an http, https or file address.";
    return false;
}

InternetHandle OpenSession(DWORD timeoutMs, std::wstring& error) {
    InternetHandle session{
        ::InternetOpenW(L"Zelto Quaylet", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0)};
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

// Neither WinINet's own timeouts (name resolution, a server that trickles)
// nor a share that stops answering bound every phase, so the list is read
// on a worker while the caller waits for a deadline. Closing the session
// ends any web call still blocked in it; a file read gives up by itself at
// the deadline. False when the worker did not finish in time.
bool ReadOnWorker(const std::shared_ptr<Download>& d, const Source& source, InternetHandle& session,
                  DWORD timeoutMs) {
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    std::thread worker([d, source, web = session.Get(), deadline] {
        if (source.isFile)
            ReadLocalFile(d, source.path, deadline);
        else
            RunDownload(d, web, source.url);
        ::SetEvent(d->done.Get());
    });
    const bool finished = ::WaitForSingleObject(d->done.Get(), timeoutMs + 500) == WAIT_OBJECT_0;
    session.Reset();
    if (finished) {
        worker.join();
    } else {
        // Give the aborted call a moment to return; never hang the window on
        // it. The worker keeps its own share of the state.
        if (::WaitForSingleObject(d->done.Get(), 2000) == WAIT_OBJECT_0)
            worker.join();
        else
            worker.detach();
    }
    return finished;
}

}  // namespace

CViewUpdates::CViewUpdates() = default;

std::wstring CViewUpdates::UpdateUrl() const {
    CSysReg reg;
    if (auto url = reg.GetString(L"UpdateUrl", 2048); url && !url->empty()) return *url;
    return std::wstring(catalogue::kSiteBase) + L"quaylet/updates.txt";
}

int CViewUpdates::AskForUpdates(HWND owner) {
    m_owner = owner;
    const std::wstring text =
        L"Zelto Quaylet will now connect to\n" + UpdateUrl() +
        L"\nto find out whether newer versions of the installed products exist.\n\nContinue?";
    return ui::ShowMessageBox(owner, text.c_str(), kCaption, MB_YESNO | MB_ICONQUESTION) == IDYES ? 1 : 0;
}

void CViewUpdates::ReportError(const std::wstring& text) {
    ui::ShowMessageBox(m_owner, text.c_str(), kCaption, MB_OK | MB_ICONWARNING);
}

bool CViewUpdates::Fetch(const std::wstring& url, std::string& bytes, std::wstring& error) {
    Source source{url, {}, HasScheme(url, L"file:")};
    if (!CheckAddress(source, error)) return false;
    InternetHandle session;
    if (!source.isFile) {
        session = OpenSession(m_timeoutMs, error);
        if (!session) return false;
    }

    auto d = std::make_shared<Download>();
    if (!ReadOnWorker(d, source, session, m_timeoutMs) || d->timedOut) {
        error = (source.isFile ? L"The update list " + source.path + L" could not be read within "
                               : L"The update server did not answer within ") +
                std::to_wstring(m_timeoutMs / 1000) + L" seconds.";
        return false;
    }
    if (d->tooLarge) {
        error = L"The update list is larger than expected and was not read.";
        return false;
    }
    if (!d->error.empty()) {
        error = d->error;
        return false;
    }
    bytes = std::move(d->bytes);
    return true;
}

int CViewUpdates::LoadUpdateFile(std::wstring& text) {
    text.clear();
    const std::wstring url = UpdateUrl();
    std::string bytes;
    std::wstring error;
    if (!Fetch(url, bytes, error)) {
        ReportError(error);
        return 0;
    }
    std::wstring decoded = updates::DecodeUtf8(bytes);
    if (!updates::Validate(decoded, error)) {
        ReportError(L"The update list from " + url + L" could not be used. " + error);
        return 0;
    }
    text = std::move(decoded);
    return 1;
}

int CViewUpdates::ReadString(std::wstring& version, std::wstring& spare, std::wstring& productName,
                             const std::wstring& text, size_t& pos) {
    return updates::ReadEntry(text, pos, productName, version, spare) ? 1 : 0;
}
