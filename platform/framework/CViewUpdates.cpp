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
    HINTERNET session = nullptr;
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

void RunDownload(const std::shared_ptr<Download>& d, const std::wstring& url) {
    const bool secure = HasScheme(url, L"https:");
    const DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_UI |
                        INTERNET_FLAG_NO_COOKIES | (secure ? INTERNET_FLAG_SECURE : 0);
    HINTERNET request = ::InternetOpenUrlW(d->session, url.c_str(), nullptr, 0, flags, 0);
    if (!request) {
        d->error = L"The update server could not be reached: " + WinInetError(::GetLastError());
        return;
    }
    DWORD status = 0, size = sizeof status;
    if (::HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr) &&
        status != 200) {
        d->error = L"The update server answered with status " + std::to_wstring(status) + L".";
        ::InternetCloseHandle(request);
        return;
    }
    char buffer[8192];
    for (;;) {
        DWORD got = 0;
        if (!::InternetReadFile(request, buffer, sizeof buffer, &got)) {
            d->error = L"Reading the update list failed: " + WinInetError(::GetLastError());
            break;
        }
        if (got == 0 || !d->Append(buffer, got)) break;
    }
    ::InternetCloseHandle(request);
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
    auto d = std::make_shared<Download>();
    std::wstring path;
    const bool isFile = HasScheme(url, L"file:");
    if (isFile) {
        if (!updates::FileUrlToPath(url, path)) {
            error = L"The update address " + url + L" is not a valid file address.";
            return false;
        }
    } else if (!HasScheme(url, L"https://") && !HasScheme(url, L"http://")) {
        error = L"The update address " + url + L" is not an http, https or file address.";
        return false;
    } else {
        d->session = ::InternetOpenW(L"Zelto Quaylet", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
        if (!d->session) {
            error =
                L"The connection to the internet could not be prepared: " + WinInetError(::GetLastError());
            return false;
        }
        DWORD timeout = m_timeoutMs;
        for (DWORD option :
             {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT})
            ::InternetSetOptionW(d->session, option, &timeout, sizeof timeout);
    }

    // Neither WinINet's own timeouts (name resolution, a server that trickles)
    // nor a share that stops answering bound every phase, so the list is read
    // on a worker while the caller waits for a deadline. Closing the session
    // ends any web call still blocked in it; a file read gives up by itself at
    // the deadline.
    const ULONGLONG deadline = ::GetTickCount64() + m_timeoutMs;
    std::thread worker([d, url, path, isFile, deadline] {
        if (isFile)
            ReadLocalFile(d, path, deadline);
        else
            RunDownload(d, url);
        ::SetEvent(d->done.Get());
    });
    const bool finished = ::WaitForSingleObject(d->done.Get(), m_timeoutMs + 500) == WAIT_OBJECT_0;
    if (d->session) ::InternetCloseHandle(d->session);
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
    if (!finished || d->timedOut) {
        error = (isFile ? L"The update list " + path + L" could not be read within "
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
