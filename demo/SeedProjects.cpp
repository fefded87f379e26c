// The recent projects page's part of the demo suite: recent-file values of
// several products naming real project files below ROOT\Projects (with author
// and note in their descriptors), a missing file, a value repeated in another
// letter case, a single value equal to the first numbered one, a capitalised
// extension and a path that needs its product's extension appended; and file
// associations that open the project files with the project stand-in, except
// for Sheet Foundry's extension, which is left without one.
#include <windows.h>

#include <string>

#include "demo/Seed.h"
#include "pages/projects/RecentDiscovery.h"

namespace demo {
namespace {

std::string Narrow(const std::wstring& w) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string s(n > 0 ? n - 1 : 0, '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, s.data(), n, nullptr, nullptr);
    return s;
}

struct Project {
    ZELTO_PRODUCT product;
    const wchar_t* value;   // registry value naming it
    const wchar_t* stored;  // path below ROOT\Projects as stored in the registry
    const wchar_t* file;    // file created below ROOT\Projects, or nullptr for a missing one
    const char* author;
    const char* note;
};

const Project kProjects[] = {
    {ZP_ROW_FOUNDRY, L"LastFile", L"Row Foundry\\Customers.rfp", L"Row Foundry\\Customers.rfp", "Maria Lopez",
     "Customer master data, 50 000 rows"},
    // The single value again: the same file is listed once.
    {ZP_ROW_FOUNDRY, L"Profile0", L"Row Foundry\\Customers.rfp", nullptr, nullptr, nullptr},
    {ZP_ROW_FOUNDRY, L"Profile1", L"Row Foundry\\Orders.RFP", L"Row Foundry\\Orders.RFP", "Maria Lopez",
     "Orders with line items"},
    // The first file in other letter case: not listed twice.
    {ZP_ROW_FOUNDRY, L"Profile2", L"ROW FOUNDRY\\CUSTOMERS.RFP", nullptr, nullptr, nullptr},
    // A project that was deleted since: no row.
    {ZP_ROW_FOUNDRY, L"Profile4", L"Row Foundry\\Archive\\Old Test Data.rfp", nullptr, nullptr, nullptr},
    // Stored without the product's extension, which is appended.
    {ZP_ROW_FOUNDRY, L"Profile5", L"Row Foundry\\Inventory.2025", L"Row Foundry\\Inventory.2025.rfp",
     "Tom Berg", "Stock levels per warehouse"},
    {ZP_LOAD_HAMMER, L"LastFile", L"Load Hammer\\Nightly Load.lhp", L"Load Hammer\\Nightly Load.lhp",
     "Ivo Marsh", "200 users, order entry mix"},
    {ZP_LOAD_HAMMER, L"PackageFile1", L"Load Hammer\\Peak Hour.lhp", L"Load Hammer\\Peak Hour.lhp",
     "Ivo Marsh", "Black Friday peak"},
    {ZP_LAYOUT_SCRIBE, L"LastFile", L"Layout Scribe\\Monthly Sales.lsx", L"Layout Scribe\\Monthly Sales.lsx",
     "Ann Lee", "Monthly sales by region"},
    {ZP_TRANSFER_WORKS, L"LastFile", L"Transfer Works\\Legacy Migration.twp",
     L"Transfer Works\\Legacy Migration.twp", "Raj Patel", "Old ERP to the new schema"},
    {ZP_TRIGGER_WATCH, L"Profile0", L"Trigger Watch\\Audit Triggers.trw",
     L"Trigger Watch\\Audit Triggers.trw", "Lena Kraus", "Audit columns on all tables"},
    {ZP_CONTENT_DIFF, L"RecentFile", L"Content Diff\\Prod vs Staging.cdif",
     L"Content Diff\\Prod vs Staging.cdif", "Lena Kraus", "Price lists"},
    {ZP_STRUCTURE_DIFF, L"LastFile", L"Structure Diff\\Schema 3.1 to 3.2.sdif",
     L"Structure Diff\\Schema 3.1 to 3.2.sdif", "Raj Patel", "Release upgrade script"},
    {ZP_DIAGRAM_STUDIO, L"Model0", L"Diagram Studio\\Webshop.dsm", L"Diagram Studio\\Webshop.dsm", "Tom Berg",
     "Webshop data model"},
    {ZP_TEXT_FOUNDRY, L"TxProfile0", L"Text Foundry\\Mailing.txfp", L"Text Foundry\\Mailing.txfp", "Ann Lee",
     "Customer mailing export"},
    // Sheet Foundry's extension has no association: opening it fails visibly.
    {ZP_SHEET_FOUNDRY, L"TXLastFile", L"Sheet Foundry\\Budget 2026.shfp", L"Sheet Foundry\\Budget 2026.shfp",
     "Maria Lopez", "Budget per department"},
    {ZP_DOCUMENT_FOUNDRY, L"LastFile", L"Document Foundry\\Invoices.docpr",
     L"Document Foundry\\Invoices.docpr", "Ivo Marsh", "Invoice documents per customer"},
};

std::string Descriptor(const RecentProjectType& type, const Project& p) {
    // Appended piece by piece: a literal put before a temporary string makes
    // g++ 12 at -O3 warn of an overlapping copy that cannot happen.
    std::string text = "; ";
    text += Narrow(catalogue::FindProduct(type.product)->name);
    text += " project\r\n[Options]\r\nVersion=3\r\n[";
    text += Narrow(type.section);
    text += "]\r\n";
    text += Narrow(type.authorKey) + "=" + p.author + "\r\n";
    text += Narrow(type.noteKey) + "=" + p.note + "\r\n";
    return text;
}

void SetDefault(HKEY root, const std::wstring& subKey, const std::wstring& value) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(root, subKey.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return;
    RegSetValueExW(key, L"", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

// Registers the open command of an extension per user, as an installer would,
// and in the machine's classes, which is where Wine looks associations up.
void Associate(const std::wstring& extension, const std::wstring& progId, const std::wstring& command) {
    SetDefault(HKEY_CURRENT_USER, L"Software\\Classes\\" + extension, progId);
    SetDefault(HKEY_CURRENT_USER, L"Software\\Classes\\" + progId + L"\\shell\\open\\command", command);
    SetDefault(HKEY_CLASSES_ROOT, extension, progId);
    SetDefault(HKEY_CLASSES_ROOT, progId + L"\\shell\\open\\command", command);
}

}  // namespace

void SeedProjects(const SeedContext& ctx) {
    const std::wstring base = ctx.root + L"\\Projects\\";
    for (const Project& p : kProjects) {
        const RecentProjectType* type = FindRecentProjectType(p.product);
        if (!type) continue;
        SetString(ProductSettingsKey(p.product), p.value, base + p.stored);
        if (!p.file) continue;
        const std::wstring path = base + p.file;
        MakeFolders(path.substr(0, path.find_last_of(L'\\')));
        WriteFileBytes(path, Descriptor(*type, p));
    }

    const std::wstring command = L"\"" + ctx.binDir + L"\\projopen.exe\" \"%1\"";
    for (const RecentProjectType& type : kRecentProjectTypes) {
        if (type.product == ZP_SHEET_FOUNDRY) continue;
        const catalogue::ProductInfo* info = catalogue::FindProduct(type.product);
        Associate(type.extension, std::wstring(L"Zerudozuz.") + info->key + L".Project", command);
    }
}

}  // namespace demo
