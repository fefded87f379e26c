// A share that stops answering, for tests and benchmarks under Wine: the
// hung-share file system of tests/hungfs/hungfs.py (read its header), which
// CTest mounts around the end-to-end tests and names in QUAYLET_HUNGFS (the
// Z:\ path of its state folder). Outside CTest:
//   /usr/bin/python3 tests/hungfs/hungfs.py start build/win/hungfs
//   export QUAYLET_HUNGFS='Z:\<full path>\build\win\hungfs'
//
// Each HungShare is a folder of its own on the share. Files put there are seen
// through the share with their sizes and times; what hangs is chosen with
// Hang (by default every read of a file hangs, nothing else). A call that hangs
// holds its thread until the server is killed (KillServer, or the object
// going), which fails it.
//
//   test::HungShare share;
//   if (!share.Available()) GTEST_SKIP() << share.Why();
//   const std::wstring exe = share.PutCopy(L"prog.exe", source);
//   share.Hang(L"read@4096 *.exe\nread *.rfp\nreaddir stuck");
#pragma once

#include <windows.h>

#include <string>

#include "tests/Win32Sandbox.h"

namespace test {

class HungShare {
public:
    HungShare() {
        wchar_t state[MAX_PATH] = {};
        const DWORD n = ::GetEnvironmentVariableW(L"QUAYLET_HUNGFS", state, MAX_PATH);
        if (n == 0 || n >= MAX_PATH) {
            m_why =
                "no hung share: QUAYLET_HUNGFS is not set (CTest sets it; by hand, start "
                "tests/hungfs/hungfs.py and set it to the Z:\\ path of its state folder)";
            return;
        }
        m_state = state;
        const std::string status = ReadFileBytes(m_state + L"\\status");
        if (status.rfind("mounted", 0) != 0) {
            m_why =
                "no hung share: " + (status.empty() ? std::string("its state folder has no status") : status);
            while (!m_why.empty() && (m_why.back() == '\n' || m_why.back() == '\r')) m_why.pop_back();
            return;
        }
        m_name = L"t" + UniqueName();
        m_available = ::CreateDirectoryW(Backing(L"").c_str(), nullptr) != FALSE;
        if (!m_available) m_why = "no hung share: its folder cannot be made";
    }
    ~HungShare() {
        if (!m_available) return;
        // Whatever this test left waiting on the share is failed now, not in
        // the next test.
        KillServer();
        DeleteFolderTree(Backing(L""));
    }
    HungShare(const HungShare&) = delete;
    HungShare& operator=(const HungShare&) = delete;

    bool Available() const { return m_available; }
    // Why the share cannot be used, for GTEST_SKIP.
    const std::string& Why() const { return m_why; }

    // The path through the share of a name in this folder ("a\\b.txt"; "" for the folder).
    std::wstring Path(const std::wstring& name) const { return Under(L"mnt", name); }
    // The same file beside the share, where it always answers.
    std::wstring Backing(const std::wstring& name) const { return Under(L"backing", name); }

    // Puts a file (and the folders above it) on the share; its path through the share.
    std::wstring Put(const std::wstring& name, const std::string& bytes) {
        return WriteFileBytes(Backing(name), bytes) ? Path(name) : std::wstring();
    }
    std::wstring PutCopy(const std::wstring& name, const std::wstring& source) {
        return Put(name, ReadFileBytes(source));
    }
    std::wstring PutFolder(const std::wstring& name) {
        const std::wstring path = Backing(name) + L"\\";
        for (std::size_t at = path.find(L'\\', 3); at != std::wstring::npos; at = path.find(L'\\', at + 1))
            ::CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
        return Path(name);
    }

    // What hangs in this folder from now on: the lines of its .hungfs
    // ("<operations> <pattern>", patterns relative to this folder); an empty
    // text makes everything answer.
    bool Hang(const std::wstring& rules) {
        std::string text;
        for (wchar_t c : rules) text.push_back(static_cast<char>(c));
        return WriteFileBytes(Backing(L".hungfs"), text + "\n");
    }

    // Kills the server (failing every call waiting on it) and waits until a
    // new one answers on the same folder. False when none did in time.
    bool KillServer(DWORD timeoutMs = 15000) {
        const std::string before = Generation();
        if (!WriteFileBytes(State(L"backing\\.hungfs-kill"), "kill\n")) return false;
        const ULONGLONG end = ::GetTickCount64() + timeoutMs;
        while (::GetTickCount64() < end) {
            const std::string now = Generation();
            if (!now.empty() && now != before) return true;
            ::Sleep(20);
        }
        return false;
    }

private:
    std::wstring State(const std::wstring& rest) const { return m_state + L"\\" + rest; }
    std::wstring Under(const wchar_t* root, const std::wstring& name) const {
        std::wstring path = State(root) + L"\\" + m_name;
        return name.empty() ? path : path + L"\\" + name;
    }
    std::string Generation() const { return ReadFileBytes(State(L"backing\\.hungfs-generation")); }

    std::wstring m_state;
    std::wstring m_name;
    std::string m_why;
    bool m_available = false;
};

}  // namespace test
