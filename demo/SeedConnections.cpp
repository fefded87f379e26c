#include <vector>

#include "demo/Seed.h"
#include "platform/connection/ProfileStore.h"
#include "platform/connection/Win32ConnCrypto.h"

namespace demo {

namespace {

CONN_INFO Make(const wchar_t* name, const wchar_t* kind, const wchar_t* server, unsigned port,
               const wchar_t* database, const wchar_t* user, const wchar_t* password,
               const wchar_t* options) {
    CONN_INFO c;
    c.name = name;
    c.kind = kind;
    c.server = server;
    c.port = port;
    c.database = database;
    c.user = user;
    c.password = conn::SecretText(password);
    c.options = options;
    return c;
}

}  // namespace

// Writes a handful of profiles into the current user's store, replacing it:
// passwords protected for this user, names that sort differently from their
// stored order, a non-ASCII one, and one without password or database.
void SeedConnections(const SeedContext&) {
    std::vector<CONN_INFO> profiles = {
        Make(L"Sales reporting", L"Network SQL", L"db-sales.example.net", 7401, L"sales", L"report",
             L"s3cret \"sales\"", L"sslmode=require"),
        Make(L"Accounting (archive)", L"Enterprise SQL", L"FINANCE\\ARCHIVE", 0, L"ledger_2019", L"auditor",
             L"ledger!", L""),
        Make(L"Local test", L"Embedded SQL", L"", 0, L"C:\\ZeltoDemo\\data\\test.db", L"", L"", L""),
        Make(L"M\u00fcnchen Lager", L"Open SQL", L"lager.muenchen.example", 7402, L"lager", L"lager_ro",
             L"gr\u00fc\u00dfe", L"charset=utf8mb4"),
        Make(L"Warehouse", L"Warehouse SQL", L"wh-db01", 7403, L"WHPROD", L"wh_reader", L"wh-pass",
             L"service=WHPROD"),
        Make(L"Customer portal", L"Network SQL", L"portal-db", 7404, L"portal", L"portal_app", L"", L""),
    };
    for (CONN_INFO& p : profiles) conn::ProtectPassword(p, conn::CurrentUserProtector());
    std::wstring error;
    conn::ProfileStore(conn::ProfileStore::DefaultPath()).Save(profiles, error);
}

}  // namespace demo
