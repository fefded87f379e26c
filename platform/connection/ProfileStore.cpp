#include "platform/connection/ProfileStore.h"

#include <windows.h>

#include <cwchar>

#include "platform/connection/ProfileFile.h"
#include "platform/os/Handle.h"
#include "platform/os/SystemError.h"

namespace conn {

namespace {

// How long a replace that another program's open handle holds up is tried
// again: a virus scanner or a sync client looks at a new file for a moment.
constexpr ULONGLONG kReplaceRetryMs = 3000;

std::wstring SystemError(DWORD code) {
    std::wstring text = os::SystemErrorText(code);
    return text.empty() ? L"error " + std::to_wstring(code) : text;
}

std::wstring Folder(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? L"." : path.substr(0, slash);
}

std::wstring FileNameOf(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// Makes `folder` and the folders above it; false with the reason in `problem`.
bool MakeFolders(const std::wstring& folder, std::wstring& problem) {
    if (folder.empty()) return false;
    const DWORD attr = GetFileAttributesW(LongPathForm(folder).c_str());
    if (attr != INVALID_FILE_ATTRIBUTES) {
        if (attr & FILE_ATTRIBUTE_DIRECTORY) return true;
        problem = L"A file named \"" + FileNameOf(folder) + L"\" is where the folder " + folder +
                  L" should be, so nothing can be saved there. Rename or move that file.";
        return false;
    }
    const std::size_t slash = folder.find_last_of(L"\\/");
    if (slash != std::wstring::npos && slash > 2 && !MakeFolders(folder.substr(0, slash), problem))
        return false;
    if (CreateDirectoryW(LongPathForm(folder).c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS)
        return true;
    problem = L"The folder " + folder + L" cannot be created: " + SystemError(GetLastError());
    return false;
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

// The newest set-aside copy of the store at `path` that holds `bytes`, or empty.
std::wstring FindSetAside(const std::wstring& path, const std::string& bytes) {
    WIN32_FIND_DATAW d;
    const os::FindHandle find(FindFirstFileW(LongPathForm(path + L".unreadable-*").c_str(), &d));
    std::wstring found;
    if (!find) return found;
    do {
        const std::wstring candidate = Folder(path) + L"\\" + d.cFileName;
        if ((d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || d.nFileSizeHigh != 0 ||
            d.nFileSizeLow != bytes.size() || candidate <= found)
            continue;
        std::string held;
        unsigned long code = 0;
        if (ReadFileUpTo(candidate, bytes.size(), held, code) == FileRead::Done && held == bytes)
            found = candidate;
    } while (FindNextFileW(find.Get(), &d));
    return found;
}

// The path the system gives for an open handle, or empty.
std::wstring FinalPath(HANDLE h) {
    std::wstring path(MAX_PATH, L'\0');
    DWORD n = GetFinalPathNameByHandleW(h, path.data(), static_cast<DWORD>(path.size()), VOLUME_NAME_DOS);
    if (n >= path.size()) {
        path.resize(n + 1);
        n = GetFinalPathNameByHandleW(h, path.data(), static_cast<DWORD>(path.size()), VOLUME_NAME_DOS);
    }
    path.resize(n < path.size() ? n : 0);
    return path;
}

// Whether the file open as `h` is the entry `lockPath` of its folder itself,
// not a file elsewhere that a link there led to (a system may follow a link
// without saying so). True when the system cannot tell.
bool IsFolderEntry(HANDLE h, const std::wstring& lockPath) {
    const os::KernelHandle folder(CreateFileW(Folder(lockPath).c_str(), 0,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    const std::wstring opened = FinalPath(h), folderPath = folder ? FinalPath(folder.Get()) : L"";
    if (opened.empty() || folderPath.empty()) return true;
    const std::wstring expected = folderPath + L"\\" + FileNameOf(lockPath);
    return CompareStringOrdinal(opened.c_str(), static_cast<int>(opened.size()), expected.c_str(),
                                static_cast<int>(expected.size()), TRUE) == CSTR_EQUAL;
}

// Why the file open as `h` is not a lock file of this program's own (empty
// when it is one): deleting it would delete something of someone else's.
std::wstring NotOwnLockFile(HANDLE h, const std::wstring& lockPath) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(h, &info)) return SystemError(GetLastError());
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return L"it is a folder";
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return L"it is a link to another file or folder";
    if (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) return L"it is a read-only file";
    if (info.nNumberOfLinks > 1 || !IsFolderEntry(h, lockPath)) return L"it is a link to another file";
    return {};
}

HANDLE OpenLockFile(const std::wstring& lockPath, DWORD disposition) {
    return CreateFileW(lockPath.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, disposition,
                       FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

// Whether the folder has an entry of that name (a link is listed even when
// what it leads to is missing).
bool HasEntry(const std::wstring& path) {
    WIN32_FIND_DATAW d;
    return static_cast<bool>(os::FindHandle(FindFirstFileW(path.c_str(), &d)));
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

// Marked for deletion: closing it deletes it and lets the next holder in.
struct StoreLock::Lock {
    os::KernelHandle file;
};

FileRead ReadFileUpTo(const std::wstring& path, std::size_t limit, std::string& bytes,
                      unsigned long& systemError) {
    systemError = 0;
    // Delete sharing: a program replacing the file meanwhile is not held up by this read.
    const os::KernelHandle file(CreateFileW(LongPathForm(path).c_str(), GENERIC_READ,
                                            FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
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

StoreLock::StoreLock(const std::wstring& storePath, unsigned waitMs, const std::atomic<bool>* cancel) {
    if (!MakeFolders(Folder(storePath), m_problem)) {
        m_state = State::Unusable;
        return;
    }
    const ULONGLONG until = GetTickCount64() + waitMs;
    while (!TryOnce(storePath + L".lock")) {
        if (GetTickCount64() >= until) {
            m_state = State::Busy;
            m_problem =
                L"The connection profiles are being changed by another program. Try again in a moment.";
            return;
        }
        Sleep(20);
        // Asked before the next try, so that a wait given up takes nothing more.
        if (cancel && cancel->load()) {
            m_state = State::Cancelled;
            return;
        }
    }
}

bool StoreLock::TryOnce(const std::wstring& shownPath) {
    const std::wstring lockPath = LongPathForm(shownPath);
    os::KernelHandle file(OpenLockFile(lockPath, OPEN_EXISTING));
    DWORD code = file ? ERROR_SUCCESS : GetLastError();
    if (code == ERROR_FILE_NOT_FOUND) {
        file = os::KernelHandle(OpenLockFile(lockPath, CREATE_NEW));
        code = file ? ERROR_SUCCESS : GetLastError();
        // Missing a moment ago and there now: another holder made it, unless
        // the name is a link that leads nowhere.
        if (code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS) {
            if (GetFileAttributesW(lockPath.c_str()) != INVALID_FILE_ATTRIBUTES || !HasEntry(lockPath))
                return false;
            code = ERROR_PATH_NOT_FOUND;
        }
    }
    std::wstring why;
    if (file) {
        why = NotOwnLockFile(file.Get(), lockPath);
        if (why.empty()) {
            // Deleted when closed; where the mark cannot be set the file is left behind, unharmed.
            FILE_DISPOSITION_INFO disposition{TRUE};
            SetFileInformationByHandle(file.Get(), FileDispositionInfo, &disposition, sizeof disposition);
            m_lock = std::make_unique<Lock>(Lock{std::move(file)});
            m_state = State::Held;
            return true;
        }
    } else if (code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION) {
        return false;  // held by another program
    } else if (code == ERROR_ACCESS_DENIED) {
        const DWORD attr = GetFileAttributesW(lockPath.c_str());
        if (attr == INVALID_FILE_ATTRIBUTES) return false;  // being deleted as its holder lets go
        why = (attr & FILE_ATTRIBUTE_DIRECTORY)  ? L"it is a folder"
              : (attr & FILE_ATTRIBUTE_READONLY) ? L"it is a read-only file"
                                                 : SystemError(code);
    } else {
        why =
            code == ERROR_PATH_NOT_FOUND ? L"it is a link to a file that does not exist" : SystemError(code);
    }
    m_state = State::Unusable;
    m_problem = L"The connection profiles cannot be changed: the lock file " + shownPath +
                L" cannot be used (" + why + L"). Remove or rename it.";
    return true;
}

StoreLock::~StoreLock() = default;

std::wstring ProfileStore::DefaultPath() {
    wchar_t buffer[MAX_PATH * 2];
    const DWORD n = GetEnvironmentVariableW(L"APPDATA", buffer, MAX_PATH * 2);
    if (n == 0 || n >= MAX_PATH * 2) return L"";
    return std::wstring(buffer, n) + L"\\Zerudozuz\\Connections\\profiles.zcp";
}

ProfileStore::LoadResult ProfileStore::Load() { return Read(false); }

ProfileStore::LoadResult ProfileStore::Read(bool lockHeld) {
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
    if (read == FileRead::CannotOpen || read == FileRead::CannotRead) {
        if (read == FileRead::CannotOpen && (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND))
            return result;
        m_writable = false;
        result.problem = L"The connection profiles in " + m_path + L" cannot be read: " + SystemError(code) +
                         L"\nThey are left as they are, and changes are not saved in this session.";
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
    return Unreadable(parsed, bytes, lockHeld);
}

ProfileStore::LoadResult ProfileStore::Unreadable(const FileResult& parsed, const std::string& bytes,
                                                  bool lockHeld) {
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
    const std::wstring unreadable =
        L"The stored connection profiles could not be read (" + parsed.message + L")";
    if (!lockHeld) {
        AfterJudgedDamaged();
        return SetAside(parsed, bytes);
    }
    // Read under the lock: no other program of the suite changes the file now.
    const std::wstring aside = AsideName(m_path);
    if (MoveFileExW(LongPathForm(m_path).c_str(), LongPathForm(aside).c_str(), MOVEFILE_WRITE_THROUGH)) {
        result.movedTo = aside;
        result.problem =
            unreadable + L"\nThe file was kept unchanged as " + aside + L" and an empty list is shown.";
    } else {
        m_writable = false;
        result.problem = unreadable + L"\nThe file " + m_path +
                         L" is left as it is, and changes are not saved in this session.";
    }
    return result;
}

ProfileStore::LoadResult ProfileStore::SetAside(const FileResult& parsed, const std::string& judged) {
    LoadResult result;
    const std::wstring unreadable =
        L"The stored connection profiles could not be read (" + parsed.message + L")";
    const StoreLock lock(m_path, kLockWaitMs);
    if (!lock.Held()) {
        m_writable = false;
        result.problem = unreadable +
                         L"\nIt is left as it is for now, and changes are not saved in this "
                         L"session: " +
                         lock.Problem();
        return result;
    }
    std::string now;
    unsigned long code = 0;
    const FileRead read = ReadFileUpTo(m_path, kMaxFileBytes, now, code);
    if (read == FileRead::CannotOpen && (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND)) {
        // Another program of the suite set it aside in the meantime.
        result.movedTo = FindSetAside(m_path, judged);
        result.problem =
            unreadable + (result.movedTo.empty()
                              ? L"\nAnother program has since moved the file away; an empty list is "
                                L"shown."
                              : L"\nThe file was kept unchanged as " + result.movedTo +
                                    L" (by another program of the suite) and an empty list is shown.");
        return result;
    }
    // It still holds what was judged, or it changed meanwhile and is judged again.
    if (read == FileRead::Done && now == judged) return Unreadable(parsed, judged, true);
    return Read(true);
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
    if (m_path.empty()) {
        LoadResult result;
        result.problem =
            L"The folder for application data is unknown, so connection profiles cannot be kept.";
        return result;
    }
    const StoreLock lock(m_path, waitMs);
    if (!lock.Held()) {
        LoadResult result;
        result.problem = lock.Problem();
        return result;
    }
    return Update(change, lock);
}

ProfileStore::LoadResult ProfileStore::Update(const std::function<bool(std::vector<CONN_INFO>&)>& change,
                                              const StoreLock& lock) {
    LoadResult result;
    if (!lock.Held()) {
        result.problem = lock.Problem();
        return result;
    }
    result = Read(true);
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

namespace {

// Writes `bytes` to a new file at `temp`, flushed; false with a message.
bool WriteNewFile(const std::wstring& temp, const std::string& bytes, std::wstring& error) {
    os::KernelHandle file(CreateFileW(LongPathForm(temp).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        error = L"The file cannot be written in " + Folder(temp) + L": " + SystemError(GetLastError());
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
    if (closed && ok) return true;
    DeleteFileW(LongPathForm(temp).c_str());
    error = L"The file could not be written: " + SystemError(code);
    return false;
}

// Moves `temp` over `path`, trying again for a while when another program's
// open handle holds the replace up; false with a message.
bool ReplaceWith(const std::wstring& temp, const std::wstring& path, std::wstring& error) {
    const ULONGLONG until = GetTickCount64() + kReplaceRetryMs;
    while (!MoveFileExW(LongPathForm(temp).c_str(), LongPathForm(path).c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD code = GetLastError();
        const DWORD attr = GetFileAttributesW(LongPathForm(path).c_str());
        const bool heldUp = (code == ERROR_ACCESS_DENIED || code == ERROR_SHARING_VIOLATION ||
                             code == ERROR_LOCK_VIOLATION) &&
                            attr != INVALID_FILE_ATTRIBUTES && !(attr & FILE_ATTRIBUTE_READONLY);
        if (!heldUp || GetTickCount64() >= until) {
            DeleteFileW(LongPathForm(temp).c_str());
            error = heldUp ? L"The file " + path +
                                 L" could not be replaced: another program kept it open for more than " +
                                 std::to_wstring(kReplaceRetryMs / 1000) + L" seconds. Try again in a moment."
                           : L"The file could not be replaced: " + SystemError(code);
            return false;
        }
        Sleep(50);
    }
    return true;
}

}  // namespace

bool WriteFileAtomic(const std::wstring& path, const std::string& bytes, std::wstring& error,
                     const std::function<bool(const std::wstring&)>& beforeReplace) {
    if (!MakeFolders(Folder(path), error)) return false;
    const std::wstring temp =
        path + L".tmp-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(GetTickCount64());
    if (!WriteNewFile(temp, bytes, error)) return false;
    if (beforeReplace && !beforeReplace(temp)) {
        DeleteFileW(LongPathForm(temp).c_str());
        error = L"The write was interrupted; " + path + L" is unchanged.";
        return false;
    }
    return ReplaceWith(temp, path, error);
}

}  // namespace conn
