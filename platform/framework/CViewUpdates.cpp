#include "platform/framework/CViewUpdates.h"

#include <wininet.h>

#include <memory>
#include <thread>

#include "catalogue/Catalogue.h"
#include "platform/framework/UpdateList.h"
#include "platform/os/SystemError.h"
#include "platform/services/CLog.h"
#include "platform/services/CSysReg.h"
#include "platform/ui/Window.h"

namespace {

// State shared between the caller and the download thread, which may outlive
// a caller that gave up waiting.
struct Download {
    Download() : done(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~Download() {
        if (done) ::CloseHandle(done);
    }
    Download(const Download&) = delete;
    Download& operator=(const Download&) = delete;
    HANDLE done;
    HINTERNET session = nullptr;
    std::string bytes;
    std::wstring error;
    bool tooLarge = false;
};

std::wstring WinInetError(DWORD code) {
    const std::wstring text = os::SystemErrorText(code, ::GetModuleHandleW(L"wininet.dll"));
    return text.empty() ? L"error " + std::to_wstring(code) : text;
}

void RunDownload(const std::shared_ptr<Download>& d, const std::wstring& url) {
    const bool secure = url.rfind(L"https:", 0) == 0;
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
        if (got == 0) break;
        if (d->bytes.size() + got > updates::kMaxListBytes) {
            d->tooLarge = true;
            break;
        }
        d->bytes.append(buffer, got);
    }
    ::InternetCloseHandle(request);
}

bool ReadLocalFile(const std::wstring& path, std::string& bytes, std::wstring& error, bool& tooLarge) {
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        CLog::FormatLastError(error, 0);
        error = L"The update list " + path + L" could not be opened: " + error;
        return false;
    }
    char buffer[8192];
    DWORD got = 0;
    bool ok = true;
    while (::ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got) {
        if (bytes.size() + got > updates::kMaxListBytes) {
            tooLarge = true;
            ok = false;
            break;
        }
        bytes.append(buffer, got);
    }
    ::CloseHandle(h);
    return ok;
}

// file:///C:/dir/list.txt or file:///C:\dir\list.txt to a Windows path.
std::wstring FileUrlToPath(const std::wstring& url) {
    std::wstring path = url.substr(url.rfind(L"file:///", 0) == 0 ? 8 : 7);
    for (auto& c : path)
        if (c == L'/') c = L'\\';
    std::wstring decoded;
    for (size_t i = 0; i < path.size(); ++i) {
        if (path[i] == L'%' && i + 2 < path.size()) {
            decoded.push_back(static_cast<wchar_t>(std::stoi(path.substr(i + 1, 2), nullptr, 16)));
            i += 2;
        } else {
            decoded.push_back(path[i]);
        }
    }
    return decoded;
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
    const std::wstring text = L"Zelto Quaylet will now connect to\n" + UpdateUrl() +
                              L"\nto find out whether newer versions of the installed products exist.\n\nContinue?";
    return ui::ShowMessageBox(owner, text.c_str(), kCaption, MB_YESNO | MB_ICONQUESTION) == IDYES ? 1 : 0;
}

void CViewUpdates::ReportError(const std::wstring& text) {
    ui::ShowMessageBox(m_owner, text.c_str(), kCaption, MB_OK | MB_ICONWARNING);
}

bool CViewUpdates::Fetch(const std::wstring& url, std::string& bytes, std::wstring& error) {
    bool tooLarge = false;
    if (url.rfind(L"file://", 0) == 0) {
        if (!ReadLocalFile(FileUrlToPath(url), bytes, error, tooLarge)) {
            if (tooLarge) error = L"The update list is larger than expected and was not read.";
            return false;
        }
        return true;
    }
    if (url.rfind(L"https://", 0) != 0 && url.rfind(L"http://", 0) != 0) {
        error = L"The update address " + url + L" is not an http, https or file address.";
        return false;
    }
    auto d = std::make_shared<Download>();
    d->session = ::InternetOpenW(L"Zelto Quaylet", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (!d->session) {
        error = L"The connection to the internet could not be prepared: " + WinInetError(::GetLastError());
        return false;
    }
    DWORD timeout = m_timeoutMs;
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT})
        ::InternetSetOptionW(d->session, option, &timeout, sizeof timeout);

    // WinINet's own timeouts do not bound every phase (name resolution, a
    // server that trickles), so the caller also waits for a deadline and then
    // closes the session, which ends any call still blocked in it.
    std::thread worker([d, url] {
        RunDownload(d, url);
        ::SetEvent(d->done);
    });
    const bool finished = ::WaitForSingleObject(d->done, m_timeoutMs + 500) == WAIT_OBJECT_0;
    HINTERNET session = d->session;
    ::InternetCloseHandle(session);
    if (finished) {
        worker.join();
    } else {
        // Give the aborted call a moment to return; never hang the window on it.
        if (::WaitForSingleObject(d->done, 2000) == WAIT_OBJECT_0)
            worker.join();
        else
            worker.detach();
    }
    if (!finished) {
        error = L"The update server did not answer within " + std::to_wstring(m_timeoutMs / 1000) + L" seconds.";
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
