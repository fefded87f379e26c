// The one ownership template of the program (Windows only), with the owners
// of kernel handles, memory blocks, a block's lock, the open clipboard and
// the thread's COM apartment. Some functions report failure with a null
// handle and others with INVALID_HANDLE_VALUE; an owner treats both as empty,
// so it never closes either and callers test one way: `if (h)`.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <utility>

namespace os {

template <class Traits>
class UniqueHandle {
public:
    using Handle = typename Traits::Handle;

    UniqueHandle() = default;
    explicit UniqueHandle(Handle h) : m_handle(h) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : m_handle(other.Release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    ~UniqueHandle() { Reset(); }

    static bool IsValid(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    Handle Get() const { return m_handle; }
    explicit operator bool() const { return IsValid(m_handle); }
    void Reset(Handle h = nullptr) {
        if (IsValid(m_handle)) Traits::Close(m_handle);
        m_handle = h;
    }
    // Closes the handle now and says whether the system closed it cleanly (a
    // write that the system completes only at closing fails here); false
    // when nothing valid was held.
    bool Close() {
        const Handle h = Release();
        return h != nullptr && Traits::Close(h);
    }
    // Gives up ownership; the result is null when nothing valid was held.
    Handle Release() { return IsValid(m_handle) ? std::exchange(m_handle, nullptr) : (m_handle = nullptr); }

private:
    Handle m_handle = nullptr;
};

struct KernelHandleTraits {
    using Handle = HANDLE;
    static bool Close(HANDLE h) { return ::CloseHandle(h) != FALSE; }
};
struct FindHandleTraits {
    using Handle = HANDLE;
    static bool Close(HANDLE h) { return ::FindClose(h) != FALSE; }
};
struct GlobalMemoryTraits {
    using Handle = HGLOBAL;
    static bool Close(HGLOBAL h) { return ::GlobalFree(h) == nullptr; }
};
struct LocalMemoryTraits {
    using Handle = HLOCAL;
    static bool Close(HLOCAL h) { return ::LocalFree(h) == nullptr; }
};

// Files, events, processes, threads, mappings.
using KernelHandle = UniqueHandle<KernelHandleTraits>;
// A FindFirstFileW search.
using FindHandle = UniqueHandle<FindHandleTraits>;
// Memory the system allocated for the caller with LocalAlloc.
using LocalMemory = UniqueHandle<LocalMemoryTraits>;
// Memory from GlobalAlloc, such as a block for the clipboard until the
// clipboard takes it.
using GlobalMemory = UniqueHandle<GlobalMemoryTraits>;

// A memory block from GlobalAlloc locked for one owner's lifetime (or until
// Unlock), so that no path leaves it locked when the block changes hands.
template <class T>
class GlobalLock {
public:
    explicit GlobalLock(HGLOBAL memory)
        : m_memory(memory), m_data(memory ? static_cast<T*>(::GlobalLock(memory)) : nullptr) {}
    GlobalLock(const GlobalLock&) = delete;
    GlobalLock& operator=(const GlobalLock&) = delete;
    ~GlobalLock() { Unlock(); }
    T* Get() const { return m_data; }
    explicit operator bool() const { return m_data != nullptr; }
    void Unlock() {
        if (m_data) ::GlobalUnlock(m_memory);
        m_data = nullptr;
    }

private:
    HGLOBAL m_memory;
    T* m_data;
};

// The clipboard, open for this scope when opening succeeded.
class OpenClipboard {
public:
    explicit OpenClipboard(HWND owner) : m_open(::OpenClipboard(owner) != FALSE) {}
    OpenClipboard(const OpenClipboard&) = delete;
    OpenClipboard& operator=(const OpenClipboard&) = delete;
    ~OpenClipboard() {
        if (m_open) ::CloseClipboard();
    }
    explicit operator bool() const { return m_open; }

private:
    bool m_open;
};

// The calling thread in a COM apartment for this scope; left only if it was entered.
class ComApartment {
public:
    explicit ComApartment(DWORD model) : m_entered(SUCCEEDED(::CoInitializeEx(nullptr, model))) {}
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    ~ComApartment() {
        if (m_entered) ::CoUninitialize();
    }

private:
    bool m_entered;
};

}  // namespace os
