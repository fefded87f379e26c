// The SQL library page's part of the demo suite: both products' "Library"
// values, a library of nested folders with scripts in several encodings (and a
// few awkward ones), a second library for the other product, and one very
// large script. With QUAYLET_DEMO_SAME_LIBRARY=1 both products name the same
// folder, which the page then lists twice.
#include <windows.h>

#include <string>

#include "demo/Seed.h"

namespace demo {

namespace {

const wchar_t kDeskKey[] = L"Software\\Zerudozuz\\StatementDesk2\\Settings";
const wchar_t kHammerKey[] = L"Software\\Zerudozuz\\LoadHammer\\Settings";

const char kMonthlySales[] =
    "-- Monthly sales per region, with the caf\xC3\xA9 chain's stores counted once\r\n"
    "SELECT r.name AS region,\r\n"
    "       SUM(o.total) AS total,\r\n"
    "       COUNT(DISTINCT o.customer_id) AS customers\r\n"
    "FROM orders o\r\n"
    "JOIN regions r ON r.id = o.region_id\r\n"
    "WHERE o.placed >= '2026-11-01' AND o.placed < '2026-12-01'\r\n"
    "  AND o.status <> 'cancelled' -- refunds are in their own report\r\n"
    "GROUP BY r.name\r\n"
    "HAVING SUM(o.total) > 1000.00\r\n"
    "ORDER BY total DESC;\r\n";

const char kCustomers[] =
    "/* Customers without an order in the last year.\n"
    "   Kept for the marketing team; run monthly. */\n"
    "SELECT c.id, c.\"Display Name\", [c].[e-mail]\n"
    "FROM customers c\n"
    "WHERE NOT EXISTS (\n"
    "    SELECT 1 FROM orders o\n"
    "    WHERE o.customer_id = c.id\n"
    "      AND o.placed > DATEADD(year, -1, CURRENT_TIMESTAMP)\n"
    ")\n"
    "AND c.note NOT LIKE '%don''t contact%';\n";

const char kCreateTables[] =
    "CREATE TABLE regions (\n"
    "    id INTEGER PRIMARY KEY,\n"
    "    name VARCHAR(80) NOT NULL\n"
    ");\n\n"
    "CREATE TABLE orders (\n"
    "    id BIGINT PRIMARY KEY,\n"
    "    region_id INTEGER REFERENCES regions(id),\n"
    "    total DECIMAL(12, 2) DEFAULT 0.0,\n"
    "    placed TIMESTAMP,\n"
    "    status CHAR(10) CHECK (status IN ('open', 'paid', 'cancelled'))\n"
    ");\n";

const char kLoadTest[] =
    "-- Load test: 500 concurrent readers of the order list\n"
    "DECLARE @i INT = 0;\n"
    "WHILE @i < 500\n"
    "BEGIN\n"
    "    SELECT TOP 100 * FROM orders WHERE id > @i * 1000 ORDER BY id;\n"
    "    SET @i = @i + 1;\n"
    "END;\n";

// UTF-16 with a byte-order mark, from text given as UTF-16 code units.
std::string Utf16(const std::wstring& text, bool bigEndian) {
    std::string out = bigEndian ? std::string("\xFE\xFF", 2) : std::string("\xFF\xFE", 2);
    for (wchar_t c : text) {
        const char hi = static_cast<char>((c >> 8) & 0xFF), lo = static_cast<char>(c & 0xFF);
        out += bigEndian ? std::string{hi, lo} : std::string{lo, hi};
    }
    return out;
}

// A script of about `bytes` bytes, many statements long, written block by
// block; a script already there at that size is kept, so seeding again is quick.
void WriteLargeScript(const std::wstring& path, std::size_t bytes) {
    WIN32_FILE_ATTRIBUTE_DATA existing{};
    if (::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &existing) &&
        existing.nFileSizeHigh == 0 && existing.nFileSizeLow >= bytes)
        return;
    std::string block;
    for (int i = 0; i < 2000; ++i) {
        block += "INSERT INTO orders (id, region_id, total, placed, status) VALUES (" + std::to_string(i) +
                 ", " + std::to_string(i % 7) + ", " + std::to_string(i * 3) + ".50, '2026-11-" +
                 std::to_string(10 + i % 18) + "', 'paid'); -- generated\r\n";
    }
    const std::string head =
        "/* A very large generated script: the preview shows its first screen at once\r\n"
        "   and reads the rest while you scroll. */\r\n";
    HANDLE h =
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    ::WriteFile(h, head.data(), static_cast<DWORD>(head.size()), &written, nullptr);
    for (std::size_t total = head.size(); total < bytes; total += block.size())
        ::WriteFile(h, block.data(), static_cast<DWORD>(block.size()), &written, nullptr);
    ::CloseHandle(h);
}

}  // namespace

void SeedLibrary(const SeedContext& ctx) {
    const std::wstring lib = ctx.root + L"\\SQL Library";
    MakeFolders(lib + L"\\Reports\\Archive\\2019");
    MakeFolders(lib + L"\\Maintenance");
    MakeFolders(lib + L"\\Schema");
    MakeFolders(lib + L"\\Large");
    MakeFolders(lib + L"\\empty folder");

    WriteFileBytes(lib + L"\\Reports\\Monthly sales.sql", std::string("\xEF\xBB\xBF") + kMonthlySales);
    WriteFileBytes(lib + L"\\Reports\\Archive\\2019\\Old totals.sql",
                   "SELECT year, SUM(total) FROM orders_2019 GROUP BY year;\r\n");
    WriteFileBytes(lib + L"\\Customers.sql", kCustomers);
    WriteFileBytes(lib + L"\\Schema\\Create tables.sql", kCreateTables);
    WriteFileBytes(lib + L"\\Maintenance\\Rebuild indexes (UTF-16).sql",
                   Utf16(L"-- Rebuilds every index of the order tables\r\n"
                         L"ALTER INDEX ALL ON orders REBUILD;\r\n"
                         L"ALTER INDEX ALL ON regions REBUILD;\r\n"
                         L"UPDATE STATISTICS orders WITH FULLSCAN; -- \u00e9t\u00e9 \u20ac\r\n",
                         false));
    WriteFileBytes(lib + L"\\Maintenance\\Vacuum (UTF-16 BE).sql",
                   Utf16(L"VACUUM ANALYZE orders; /* weekly */\n", true));
    // A legacy file in the ANSI code page: not valid UTF-8 (e acute, euro sign).
    WriteFileBytes(lib + L"\\Legacy export (ANSI).sql",
                   "-- Export f\xFCr die Buchhaltung, Betr\xE4ge in \x80\r\n"
                   "SELECT id, total FROM orders WHERE note = 'caf\xE9';\r\n");
    static const char withNul[] = "SELECT 1;\0\0\0 -- binary tail\1\2\3\r\n";
    WriteFileBytes(lib + L"\\With NUL bytes.sql", std::string(withNul, sizeof withNul - 1));
    WriteFileBytes(lib + L"\\Empty.sql", "");
    WriteFileBytes(lib + L"\\notes.txt", "Not a script: the library lists .sql files only.\r\n");
    WriteLargeScript(lib + L"\\Large\\Very large script.sql", 64u << 20);

    const std::wstring hammer = ctx.root + L"\\Load Tests";
    MakeFolders(hammer + L"\\Scenarios");
    WriteFileBytes(hammer + L"\\Readers.sql", kLoadTest);
    WriteFileBytes(hammer + L"\\Scenarios\\Checkout.sql",
                   "BEGIN TRANSACTION;\nUPDATE orders SET status = 'paid' WHERE id = 42;\nCOMMIT;\n");

    wchar_t same[8] = {};
    const bool sameFolder =
        ::GetEnvironmentVariableW(L"QUAYLET_DEMO_SAME_LIBRARY", same, 8) && same[0] == L'1';
    SetString(kDeskKey, L"Library", lib);
    SetString(kHammerKey, L"Library", sameFolder ? lib : hammer);
}

}  // namespace demo
