// Shared support for the Windows tests that run under Wine in-process: each
// test gets its own HKEY_CURRENT_USER (a fresh temporary key mapped with
// RegOverridePredefKey) and its own temporary folder, and message boxes are
// recorded and answered instead of shown.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "tests/RectAssert.h"
#include "tests/Win32Sandbox.h"

struct RecordedBox {
    std::wstring text;
    std::wstring caption;
    UINT type;
};

class CSmDialog;

class WinTest : public ::testing::Test {
public:
    // Handles pending messages of this thread.
    static void Pump();
    // Lets the page's reads of other programs' files answer and be shown, as
    // the program's message loop does; false if some were still out after 15 s.
    static bool SettleReads(const CSmDialog& page);

protected:
    void SetUp() override;
    void TearDown() override;

    // A folder of this test's own, without a trailing backslash.
    const std::wstring& TempDir() const { return m_tempDir->Path(); }
    // Writes bytes to TempDir()\name (folders created as needed); returns the full path.
    std::wstring WriteFile(const std::wstring& name, const std::string& bytes);
    std::wstring MakeDir(const std::wstring& name);

    // Registry helpers on the test's own HKEY_CURRENT_USER.
    static void SetString(const std::wstring& subKey, const std::wstring& name, const std::wstring& value);
    static void SetDword(const std::wstring& subKey, const std::wstring& name, DWORD value);
    static void SetRaw(const std::wstring& subKey, const std::wstring& name, DWORD type, const void* data,
                       DWORD size);

    // Message boxes shown since SetUp, and the answer the next ones get (IDOK by default).
    static std::vector<RecordedBox>& Boxes();
    static void AnswerBoxesWith(int answer);

private:
    std::optional<test::RedirectedUserKey> m_userKey;
    std::optional<test::TempFolder> m_tempDir;
};
