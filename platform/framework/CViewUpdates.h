// The update check: asks first, then fetches the maker's update list (see
// UpdateList.h) over HTTPS with WinINet, or from the address in the hub's
// "UpdateUrl" setting (http, https or file:///). Connect and read are bounded
// by a timeout; a failure is reported once and yields no entries.
#pragma once

#include <windows.h>

#include <string>

class CViewUpdates {
public:
    CViewUpdates();
    virtual ~CViewUpdates() = default;

    // Asks the user whether to go online now. Nonzero: go on.
    virtual int AskForUpdates(HWND owner);
    // Fills text with the update list; empty (and reported once) on failure.
    // Returns nonzero on success.
    virtual int LoadUpdateFile(std::wstring& text);
    // Reads the next entry at pos into version, spare and product name;
    // advances pos. Zero when no entry is left.
    int ReadString(std::wstring& version, std::wstring& spare, std::wstring& productName,
                   const std::wstring& text, size_t& pos);

    // The address the list is fetched from.
    std::wstring UpdateUrl() const;
    void SetOwner(HWND owner) { m_owner = owner; }
    void SetTimeout(DWORD milliseconds) { m_timeoutMs = milliseconds; }
    DWORD Timeout() const { return m_timeoutMs; }

    static constexpr const wchar_t* kCaption = L"Check for Updates";

protected:
    // Shows a failure; tests override it to count reports.
    virtual void ReportError(const std::wstring& text);
    // Fetches the raw bytes of url into bytes; on failure fills error.
    bool Fetch(const std::wstring& url, std::string& bytes, std::wstring& error);

private:
    HWND m_owner = nullptr;
    DWORD m_timeoutMs = 10000;
};
