// The suite's products: identifiers, registry keys, names, Tools commands and
// the fixed order of the products page. Plain data that any layer may read.
#pragma once

#include <array>
#include <optional>

enum ZELTO_PRODUCT : int {
    ZP_STATEMENT_DESK = 0,
    ZP_LAYOUT_SCRIBE = 1,
    ZP_ROW_FOUNDRY = 2,
    ZP_TRANSFER_WORKS = 3,
    ZP_TABLE_BENCH = 4,
    ZP_LOAD_HAMMER = 5,
    ZP_DIAGRAM_STUDIO = 6,
    ZP_STRUCTURE_DIFF = 7,
    ZP_VALUE_MASKER = 8,
    ZP_CONTENT_DIFF = 9,
    ZP_RESULT_PRINTER = 10,
    ZP_OBJECT_BROWSER = 11,
    ZP_TRIGGER_WATCH = 12,
    ZP_QUAYLET = 14,
    ZP_MARKUP_FOUNDRY = 16,
    ZP_TEXT_FOUNDRY = 17,
    ZP_SHEET_FOUNDRY = 19,
    ZP_DOCUMENT_FOUNDRY = 20,
};

namespace catalogue {

constexpr int kProductIdLimit = 21;  // identifiers are 0 .. 20
constexpr int kToolsCommandBase = 25000;
constexpr int kPageEntryCount = 14;

struct ProductInfo {
    ZELTO_PRODUCT id;
    const wchar_t* key;          // registry key below Software\Zerudozuz
    const wchar_t* name;         // display name without the brand word
    const wchar_t* description;  // starts with three characters ("is ") that the products page drops
    const wchar_t* siteFolder;   // folder below the site base address, with a trailing slash
    bool inToolsMenu;            // the Tools menu has command 25000 + id
    int pageCommand;             // products-page command and icon id, 0 when the page has no entry
};

// Products in increasing identifier order; identifiers 13, 15 and 18 do not exist.
extern const std::array<ProductInfo, 18> kProducts;

// The product with this identifier, or nullptr.
const ProductInfo* FindProduct(int id);

// The products page in its fixed order: product identifier and command id.
struct PageEntry {
    ZELTO_PRODUCT product;
    int command;
};
extern const std::array<PageEntry, kPageEntryCount> kPageEntries;

// Page command 130 .. 240 to entry position 0 .. 13, by table.
std::optional<int> PagePositionFromCommand(int command);

// Tools command 25000 + id to the product, for the sixteen products in the menu.
std::optional<ZELTO_PRODUCT> ProductFromToolsCommand(int command);

// The maker's web site; help and download pages lie below it.
constexpr const wchar_t* kSiteBase = L"https://www.zerudozuz.example/";

// The maker's support address, used by the Help menu's e-mail command.
constexpr const wchar_t* kSupportMail = L"support@zerudozuz.example";

// Registry root of the suite below HKEY_CURRENT_USER.
constexpr const wchar_t* kRegistryRoot = L"Software\\Zerudozuz\\";

}  // namespace catalogue
