// Plain Win32 pieces that tests, end-to-end tests and benchmarks share: a
// registry and a folder of their own, files read back whole, messages
// handled, and the windows another process shows.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace test {

// The folder of the running program, without a trailing backslash.
inline std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    const std::wstring p = path;
    return p.substr(0, p.find_last_of(L'\\'));
}

// A name no other run of this program or of another one uses.
inline std::wstring UniqueName() {
    static int counter = 0;
    return std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(++counter) + L"-" +
           std::to_wstring(::GetTickCount64());
}

// The whole file, or nothing when it cannot be opened. Others may be writing
// or deleting it meanwhile, as the program's own processes do.
inline std::string ReadFileBytes(const std::wstring& path) {
    std::string bytes;
    HANDLE h =
        ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return bytes;
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
    ::CloseHandle(h);
    return bytes;
}

// Writes the whole file, making the folders above it first. False when it
// could not be written in full.
inline bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    for (std::size_t at = path.find(L'\\', 3); at != std::wstring::npos; at = path.find(L'\\', at + 1))
        ::CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok = ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                    written == bytes.size();
    return ::CloseHandle(h) && ok;
}

inline bool FileExists(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Removes a folder with everything in it.
inline void DeleteFolderTree(const std::wstring& dir) {
    std::wstring from = dir;
    from.push_back(L'\0');  // the list of paths ends with an empty one
    SHFILEOPSTRUCTW op{};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_NO_UI;
    ::SHFileOperationW(&op);
}

// A new folder under the temporary folder, removed with its contents at the end.
class TempFolder {
public:
    explicit TempFolder(const std::wstring& prefix) {
        wchar_t temp[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, temp);
        m_path = std::wstring(temp) + prefix + UniqueName();
        m_made = ::CreateDirectoryW(m_path.c_str(), nullptr) != FALSE;
    }
    ~TempFolder() {
        if (m_made) DeleteFolderTree(m_path);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::wstring& Path() const { return m_path; }
    explicit operator bool() const { return m_made; }

private:
    std::wstring m_path;
    bool m_made = false;
};

// HKEY_CURRENT_USER of this process redirected to a new, empty key until the
// end, so that what the code under test reads and writes is its own.
class RedirectedUserKey {
public:
    explicit RedirectedUserKey(const std::wstring& parent) : m_path(parent + L"\\" + UniqueName()) {
        m_made = ::RegCreateKeyExW(HKEY_CURRENT_USER, m_path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                   &m_key, nullptr) == ERROR_SUCCESS &&
                 ::RegOverridePredefKey(HKEY_CURRENT_USER, m_key) == ERROR_SUCCESS;
    }
    ~RedirectedUserKey() {
        ::RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
        if (m_key) ::RegCloseKey(m_key);
        ::RegDeleteTreeW(HKEY_CURRENT_USER, m_path.c_str());
        ::RegDeleteKeyW(HKEY_CURRENT_USER, m_path.c_str());
    }
    RedirectedUserKey(const RedirectedUserKey&) = delete;
    RedirectedUserKey& operator=(const RedirectedUserKey&) = delete;

    explicit operator bool() const { return m_made; }

private:
    std::wstring m_path;
    HKEY m_key = nullptr;
    bool m_made = false;
};

// Writes a value under HKEY_CURRENT_USER (as redirected), creating the key as needed.
inline bool SetUserValue(const std::wstring& subKey, const std::wstring& name, DWORD type, const void* data,
                         DWORD size) {
    HKEY key = nullptr;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, subKey.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                          nullptr) != ERROR_SUCCESS)
        return false;
    const bool written =
        ::RegSetValueExW(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), size) == ERROR_SUCCESS;
    ::RegCloseKey(key);
    return written;
}

inline bool SetUserString(const std::wstring& subKey, const std::wstring& name, const std::wstring& value) {
    return SetUserValue(subKey, name, REG_SZ, value.c_str(),
                        static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

inline bool SetUserDword(const std::wstring& subKey, const std::wstring& name, DWORD value) {
    return SetUserValue(subKey, name, REG_DWORD, &value, sizeof value);
}

// Handles the messages waiting for this thread.
inline void PumpMessages() {
    MSG m;
    while (::PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&m);
        ::DispatchMessageW(&m);
    }
}

inline DWORD ProcessOf(HWND hwnd) {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    return pid;
}

// The first visible top-level window of process pid that match accepts, or null.
inline HWND FindShownWindow(DWORD pid, const std::function<bool(HWND)>& match) {
    struct Search {
        DWORD pid;
        const std::function<bool(HWND)>& match;
        HWND found;
    } s{pid, match, nullptr};
    ::EnumWindows(
        [](HWND hwnd, LPARAM lp) -> BOOL {
            auto* search = reinterpret_cast<Search*>(lp);
            if (ProcessOf(hwnd) != search->pid || !::IsWindowVisible(hwnd) || !search->match(hwnd))
                return TRUE;
            search->found = hwnd;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&s));
    return s.found;
}

// Memory inside another process (the hub's), for the list and tree messages
// that carry pointers.
class RemoteBuffer {
public:
    RemoteBuffer(HWND window, std::size_t size) {
        DWORD pid = 0;
        ::GetWindowThreadProcessId(window, &pid);
        m_process = ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
        if (m_process)
            m_memory = static_cast<char*>(
                ::VirtualAllocEx(m_process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    }
    ~RemoteBuffer() {
        if (m_memory) ::VirtualFreeEx(m_process, m_memory, 0, MEM_RELEASE);
        if (m_process) ::CloseHandle(m_process);
    }
    RemoteBuffer(const RemoteBuffer&) = delete;
    RemoteBuffer& operator=(const RemoteBuffer&) = delete;

    char* At(std::size_t offset) const { return m_memory + offset; }
    bool Write(std::size_t offset, const void* data, std::size_t size) const {
        SIZE_T done = 0;
        return m_memory && ::WriteProcessMemory(m_process, At(offset), data, size, &done) && done == size;
    }
    bool Read(std::size_t offset, void* data, std::size_t size) const {
        SIZE_T done = 0;
        return m_memory && ::ReadProcessMemory(m_process, At(offset), data, size, &done) && done == size;
    }
    explicit operator bool() const { return m_memory != nullptr; }

private:
    HANDLE m_process = nullptr;
    char* m_memory = nullptr;
};

// The items below `parent` (null: the top level) of a tree view in another
// process, with their texts, in display order.
inline std::vector<std::pair<HTREEITEM, std::wstring>> TreeItems(HWND tree, HTREEITEM parent) {
    std::vector<std::pair<HTREEITEM, std::wstring>> items;
    constexpr std::size_t kChars = 512;
    RemoteBuffer remote(tree, sizeof(TVITEMW) + kChars * sizeof(wchar_t));
    if (!remote) return items;
    auto next = [tree](UINT code, HTREEITEM item) {
        return reinterpret_cast<HTREEITEM>(
            ::SendMessageW(tree, TVM_GETNEXTITEM, code, reinterpret_cast<LPARAM>(item)));
    };
    for (HTREEITEM item = parent ? next(TVGN_CHILD, parent) : next(TVGN_ROOT, nullptr); item;
         item = next(TVGN_NEXT, item)) {
        TVITEMW tv{};
        tv.mask = TVIF_TEXT;
        tv.hItem = item;
        tv.pszText = reinterpret_cast<wchar_t*>(remote.At(sizeof(TVITEMW)));
        tv.cchTextMax = kChars;
        remote.Write(0, &tv, sizeof tv);
        ::SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(remote.At(0)));
        std::vector<wchar_t> text(kChars, L'\0');
        remote.Read(sizeof(TVITEMW), text.data(), (kChars - 1) * sizeof(wchar_t));
        items.emplace_back(item, text.data());
    }
    return items;
}

inline std::wstring WindowText(HWND hwnd) {
    wchar_t buffer[512] = {};
    ::GetWindowTextW(hwnd, buffer, 512);
    return buffer;
}

inline std::wstring ClassName(HWND hwnd) {
    wchar_t buffer[64] = {};
    ::GetClassNameW(hwnd, buffer, 64);
    return buffer;
}

}  // namespace test
