#include "platform/connection/ProfileStore.h"

#include <windows.h>

#include <cwchar>

#include "platform/connection/ProfileFile.h"

namespace conn {

namespace {

std::wstring SystemError(DWORD code) {
    wchar_t* text = nullptr;
    FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring result = text ? text : L"";
    if (text) LocalFree(text);
    while (!result.empty() && (result.back() == L'\n' || result.back() == L'\r' || result.back() == L' '))
        result.pop_back();
    if (result.empty()) result = L"error " + std::to_wstring(code);
    return result;
}

std::wstring Folder(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? L"." : path.substr(0, slash);
}

bool MakeFolders(const std::wstring& folder) {
    if (folder.empty()) return false;
    const DWORD attr = GetFileAttributesW(folder.c_str());
    if (attr != INVALID_FILE_ATTRIBUTES) return (attr & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const std::size_t slash = folder.find_last_of(L"\\/");
    if (slash != std::wstring::npos && slash > 2 && !MakeFolders(folder.substr(0, slash))) return false;
    return CreateDirectoryW(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

class File {
public:
    explicit File(HANDLE h) : m_h(h) {}
    ~File() { Close(); }
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    bool ok() const { return m_h != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return m_h; }
    bool Close() {
        const bool closed = m_h == INVALID_HANDLE_VALUE || CloseHandle(m_h);
        m_h = INVALID_HANDLE_VALUE;
        return closed;
    }

private:
    HANDLE m_h;
};

}  // namespace

std::wstring ProfileStore::DefaultPath() {
    wchar_t buffer[MAX_PATH * 2];
    const DWORD n = GetEnvironmentVariableW(L"APPDATA", buffer, MAX_PATH * 2);
    if (n == 0 || n >= MAX_PATH * 2) return L"";
    return std::wstring(buffer, n) + L"\\Zerudozuz\\Connections\\profiles.zcp";
}

ProfileStore::LoadResult ProfileStore::Load() {
    LoadResult result;
    m_writable = true;
    if (m_path.empty()) {
        m_writable = false;
        result.problem =
            L"The folder for application data is unknown, so connection profiles cannot be kept.";
        return result;
    }
    File file(CreateFileW(m_path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.ok()) {
        const DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return result;
        m_writable = false;
        result.problem = L"The connection profiles in " + m_path + L" cannot be read: " + SystemError(code) +
                         L"\nThey are left as they are, and changes are not saved in this session.";
        return result;
    }
    LARGE_INTEGER size{};
    std::string bytes;
    bool readOk = GetFileSizeEx(file.get(), &size) != FALSE;
    if (readOk && static_cast<unsigned long long>(size.QuadPart) <= kMaxFileBytes) {
        bytes.resize(static_cast<std::size_t>(size.QuadPart));
        DWORD got = 0;
        readOk = bytes.empty() ||
                 (ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) &&
                  got == bytes.size());
    } else if (readOk) {
        bytes.assign(kMaxFileBytes + 1, '\0');  // parsed as too large below, without reading it
    }
    file.Close();
    if (!readOk) {
        m_writable = false;
        result.problem = L"The connection profiles in " + m_path + L" cannot be read: " +
                         SystemError(GetLastError()) + L"\nThey are left as they are.";
        return result;
    }
    FileResult parsed = ParseStore(bytes);
    if (parsed.ok()) {
        result.profiles = std::move(parsed.profiles);
        return result;
    }
    SYSTEMTIME t;
    GetLocalTime(&t);
    wchar_t stamp[32];
    std::swprintf(stamp, 32, L"%04u%02u%02u-%02u%02u%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                  t.wSecond);
    std::wstring aside = m_path + L".unreadable-" + stamp;
    for (int n = 2; GetFileAttributesW(aside.c_str()) != INVALID_FILE_ATTRIBUTES && n < 100; ++n)
        aside = m_path + L".unreadable-" + stamp + L"-" + std::to_wstring(n);
    if (MoveFileExW(m_path.c_str(), aside.c_str(), MOVEFILE_WRITE_THROUGH)) {
        result.movedTo = aside;
        result.problem = L"The stored connection profiles could not be read (" + parsed.message +
                         L")\nThe file was kept unchanged as " + aside + L" and an empty list is shown.";
    } else {
        m_writable = false;
        result.problem = L"The stored connection profiles could not be read (" + parsed.message +
                         L")\nThe file " + m_path +
                         L" is left as it is, and changes are not saved in this session.";
    }
    return result;
}

bool ProfileStore::BeforeReplace(const std::wstring&) {
    return true;
}

bool ProfileStore::Save(const std::vector<CONN_INFO>& profiles, std::wstring& error) {
    if (!m_writable || m_path.empty()) {
        error = L"The stored connection profiles could not be read earlier, so they are not overwritten.";
        return false;
    }
    return WriteFileAtomic(m_path, SerializeStore(profiles), error,
                           [this](const std::wstring& temp) { return BeforeReplace(temp); });
}

bool WriteFileAtomic(const std::wstring& path, const std::string& bytes, std::wstring& error,
                     const std::function<bool(const std::wstring&)>& beforeReplace) {
    const std::wstring folder = Folder(path);
    if (!MakeFolders(folder)) {
        error = L"The folder " + folder + L" cannot be created: " + SystemError(GetLastError());
        return false;
    }
    const std::wstring temp =
        path + L".tmp-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(GetTickCount64());
    {
        File file(
            CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.ok()) {
            error = L"The file cannot be written in " + folder + L": " + SystemError(GetLastError());
            return false;
        }
        DWORD written = 0;
        const bool ok =
            WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
            written == bytes.size() && FlushFileBuffers(file.get());
        const DWORD code = GetLastError();
        if (!file.Close() || !ok) {
            DeleteFileW(temp.c_str());
            error = L"The file could not be written: " + SystemError(code);
            return false;
        }
    }
    if (beforeReplace && !beforeReplace(temp)) {
        DeleteFileW(temp.c_str());
        error = L"The write was interrupted; " + path + L" is unchanged.";
        return false;
    }
    if (!MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD code = GetLastError();
        DeleteFileW(temp.c_str());
        error = L"The file could not be replaced: " + SystemError(code);
        return false;
    }
    return true;
}

}  // namespace conn
