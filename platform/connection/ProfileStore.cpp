#include "platform/connection/ProfileStore.h"

#include <windows.h>

#include <cwchar>

#include "platform/connection/ProfileFile.h"
#include "platform/os/Handle.h"
#include "platform/os/SystemError.h"

namespace conn {

namespace {

std::wstring SystemError(DWORD code) {
    std::wstring text = os::SystemErrorText(code);
    return text.empty() ? L"error " + std::to_wstring(code) : text;
}

std::wstring Folder(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? L"." : path.substr(0, slash);
}

bool MakeFolders(const std::wstring& folder) {
    if (folder.empty()) return false;
    const DWORD attr = GetFileAttributesW(LongPathForm(folder).c_str());
    if (attr != INVALID_FILE_ATTRIBUTES) return (attr & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const std::size_t slash = folder.find_last_of(L"\\/");
    if (slash != std::wstring::npos && slash > 2 && !MakeFolders(folder.substr(0, slash))) return false;
    return CreateDirectoryW(LongPathForm(folder).c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

// A name beside `path`, stamped with the local time, that no file has yet:
// where an unreadable store is kept.
std::wstring AsideName(const std::wstring& path) {
    SYSTEMTIME t;
    GetLocalTime(&t);
    wchar_t stamp[32];
    std::swprintf(stamp, 32, L"%04u%02u%02u-%02u%02u%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                  t.wSecond);
    std::wstring aside = path + L".unreadable-" + stamp;
    for (int n = 2; GetFileAttributesW(LongPathForm(aside).c_str()) != INVALID_FILE_ATTRIBUTES && n < 100;
         ++n)
        aside = path + L".unreadable-" + stamp + L"-" + std::to_wstring(n);
    return aside;
}

}  // namespace

std::wstring LongPathForm(const std::wstring& path) {
    if (path.rfind(L"\\\\?\\", 0) == 0 || path.empty()) return path;
    const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0) return path;
    std::wstring full(size, L'\0');
    const DWORD n = GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
    if (n == 0 || n >= size) return path;
    full.resize(n);
    if (full.rfind(L"\\\\.\\", 0) == 0) return path;  // a device: left as it is
    if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
    if (full.size() >= 3 && full[1] == L':' && full[2] == L'\\') return L"\\\\?\\" + full;
    return path;
}

// Closing the lock file deletes it and lets the next holder in.
struct StoreLock::Lock {
    os::KernelHandle file;
};

FileRead ReadFileUpTo(const std::wstring& path, std::size_t limit, std::string& bytes,
                      unsigned long& systemError) {
    systemError = 0;
    const os::KernelHandle file(CreateFileW(LongPathForm(path).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        systemError = GetLastError();
        return FileRead::CannotOpen;
    }
    LARGE_INTEGER size{};
    bool ok = GetFileSizeEx(file.Get(), &size) != FALSE;
    if (ok && static_cast<unsigned long long>(size.QuadPart) > limit) return FileRead::TooLarge;
    if (ok) {
        bytes.assign(static_cast<std::size_t>(size.QuadPart), '\0');
        DWORD got = 0;
        ok = bytes.empty() ||
             (ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) &&
              got == bytes.size());
    }
    if (ok) return FileRead::Done;
    systemError = GetLastError();
    return FileRead::CannotRead;
}

StoreLock::StoreLock(const std::wstring& storePath, unsigned waitMs) {
    const std::wstring folder = Folder(storePath);
    if (!MakeFolders(folder)) {
        m_problem = L"The folder " + folder + L" cannot be created: " + SystemError(GetLastError());
        return;
    }
    const std::wstring lockPath = LongPathForm(storePath + L".lock");
    const ULONGLONG until = GetTickCount64() + waitMs;
    for (;;) {
        os::KernelHandle file(CreateFileW(lockPath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                          OPEN_ALWAYS, FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE,
                                          nullptr));
        if (file) {
            m_lock = std::make_unique<Lock>(Lock{std::move(file)});
            return;
        }
        const DWORD code = GetLastError();
        // Held by another program, or being deleted as its holder lets go.
        const bool busy =
            code == ERROR_SHARING_VIOLATION || code == ERROR_ACCESS_DENIED || code == ERROR_LOCK_VIOLATION;
        if (!busy || GetTickCount64() >= until) {
            m_problem = busy
                            ? L"The connection profiles are being changed by another program. Try again in a "
                              L"moment."
                            : L"The connection profiles cannot be locked for a change: " + SystemError(code);
            return;
        }
        Sleep(20);
    }
}

StoreLock::~StoreLock() = default;

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
    std::string bytes;
    unsigned long code = 0;
    const FileRead read = ReadFileUpTo(m_path, kMaxFileBytes, bytes, code);
    if (read == FileRead::CannotOpen) {
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return result;
        m_writable = false;
        result.problem = L"The connection profiles in " + m_path + L" cannot be read: " + SystemError(code) +
                         L"\nThey are left as they are, and changes are not saved in this session.";
        return result;
    }
    if (read == FileRead::CannotRead) {
        m_writable = false;
        result.problem = L"The connection profiles in " + m_path + L" cannot be read: " + SystemError(code) +
                         L"\nThey are left as they are.";
        return result;
    }
    FileResult parsed;
    if (read == FileRead::TooLarge) {
        parsed.error = FileError::TooLarge;
        parsed.message = L"the file is larger than 8 MB";
    } else {
        parsed = ParseStore(bytes);
    }
    if (parsed.ok()) {
        result.profiles = std::move(parsed.profiles);
        return result;
    }
    return Unreadable(parsed);
}

ProfileStore::LoadResult ProfileStore::Unreadable(const FileResult& parsed) {
    LoadResult result;
    // A newer format or a store beyond this version's limits may be sound:
    // another program of the suite may rely on it. It is only left alone.
    if (parsed.error == FileError::NewerVersion || parsed.error == FileError::TooLarge ||
        parsed.error == FileError::TooMany) {
        m_writable = false;
        result.problem = L"The stored connection profiles in " + m_path +
                         L" cannot be shown by this version (" + parsed.message +
                         L")\nThe file is left as it is; the list stays empty and nothing is saved over it "
                         L"in this session.";
        return result;
    }
    const std::wstring aside = AsideName(m_path);
    if (MoveFileExW(LongPathForm(m_path).c_str(), LongPathForm(aside).c_str(), MOVEFILE_WRITE_THROUGH)) {
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

bool ProfileStore::BeforeReplace(const std::wstring&) { return true; }

bool ProfileStore::Save(const std::vector<CONN_INFO>& profiles, std::wstring& error) {
    if (!m_writable || m_path.empty()) {
        error = L"The stored connection profiles could not be read earlier, so they are not overwritten.";
        return false;
    }
    std::string bytes;
    if (!FitsStore(profiles, bytes, error)) return false;
    return WriteFileAtomic(m_path, bytes, error,
                           [this](const std::wstring& temp) { return BeforeReplace(temp); });
}

ProfileStore::LoadResult ProfileStore::Update(const std::function<bool(std::vector<CONN_INFO>&)>& change,
                                              unsigned waitMs) {
    LoadResult result;
    if (m_path.empty()) {
        result.problem =
            L"The folder for application data is unknown, so connection profiles cannot be kept.";
        return result;
    }
    StoreLock lock(m_path, waitMs);
    if (!lock.Held()) {
        result.problem = lock.Problem();
        return result;
    }
    result = Load();
    if (!result.problem.empty()) return result;
    if (change(result.profiles)) {
        std::wstring error;
        if (!Save(result.profiles, error)) {
            result.profiles.clear();
            result.problem = error;
        }
    }
    return result;
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
        os::KernelHandle file(CreateFileW(LongPathForm(temp).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            error = L"The file cannot be written in " + folder + L": " + SystemError(GetLastError());
            return false;
        }
        DWORD written = 0;
        const bool ok =
            WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
            written == bytes.size() && FlushFileBuffers(file.Get());
        DWORD code = GetLastError();
        // A write the system completes only at closing may fail there.
        const bool closed = file.Close();
        if (ok && !closed) code = GetLastError();
        if (!closed || !ok) {
            DeleteFileW(LongPathForm(temp).c_str());
            error = L"The file could not be written: " + SystemError(code);
            return false;
        }
    }
    if (beforeReplace && !beforeReplace(temp)) {
        DeleteFileW(LongPathForm(temp).c_str());
        error = L"The write was interrupted; " + path + L" is unchanged.";
        return false;
    }
    if (!MoveFileExW(LongPathForm(temp).c_str(), LongPathForm(path).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD code = GetLastError();
        DeleteFileW(LongPathForm(temp).c_str());
        error = L"The file could not be replaced: " + SystemError(code);
        return false;
    }
    return true;
}

}  // namespace conn
