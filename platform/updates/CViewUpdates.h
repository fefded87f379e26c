// The update check: asks first, then fetches the maker's update list (see
// UpdateList.h) over HTTPS with WinINet, or from the address in the hub's
// "UpdateUrl" setting (http, https or file:///). The list is read on a worker
// while a progress window with Cancel waits for it, within a deadline; a
// failure is reported once and yields no entries, a cancel changes nothing.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

class CViewUpdates {
public:
    CViewUpdates();
    virtual ~CViewUpdates() = default;

    // Asks the user whether to go online now, naming the address; the list is
    // then read from exactly that address. Nonzero: go on. A setting that
    // cannot be used is reported instead of asking.
    virtual int AskForUpdates(HWND owner);
    // Fills text with the update list; empty (and reported once) on failure.
    // Returns nonzero on success.
    virtual int LoadUpdateFile(std::wstring& text);
    // Whether the user cancelled the last LoadUpdateFile.
    bool Cancelled() const { return m_cancelled; }
    // Reads the next entry at pos into version, spare and product name;
    // advances pos. Zero when no entry is left.
    int ReadString(std::wstring& version, std::wstring& spare, std::wstring& productName,
                   const std::wstring& text, size_t& pos);

    // The address the list is fetched from: the "UpdateUrl" setting, or the
    // maker's when it is not set. False, with `problem` saying why, when the
    // setting is set but cannot be used (longer than kMaxUrlChars, or not text).
    bool UpdateUrl(std::wstring& url, std::wstring& problem) const;
    // An address as the hub shows it in its question and messages: control
    // characters and characters that show nothing (right-to-left marks and
    // overrides, zero-width characters, ...) written out as <U+202E>, so that
    // what is shown is what is contacted.
    static std::wstring ShownAddress(const std::wstring& url);
    void SetOwner(HWND owner) { m_owner = owner; }
    void SetTimeout(DWORD milliseconds) { m_timeoutMs = milliseconds; }
    DWORD Timeout() const { return m_timeoutMs; }

    static constexpr const wchar_t* kCaption = L"Check for Updates";
    static constexpr std::size_t kMaxUrlChars = 2048;

protected:
    // Shows a failure; tests override it to count reports.
    virtual void ReportError(const std::wstring& text);
    enum class FetchEnd { Done, Failed, Cancelled };
    // Fetches the raw bytes of url into bytes on a worker, while a progress
    // window waits; on failure fills error.
    FetchEnd Fetch(const std::wstring& url, std::string& bytes, std::wstring& error);
    void SetCancelled(bool cancelled) { m_cancelled = cancelled; }

private:
    HWND m_owner = nullptr;
    DWORD m_timeoutMs = 10000;
    std::optional<std::wstring> m_asked;  // the address the user agreed to
    bool m_cancelled = false;
};
