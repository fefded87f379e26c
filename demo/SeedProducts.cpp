// The products page's part of the demo suite: installed stand-ins with their
// own versions, products that are not installed, one whose recorded path is
// gone and one whose program has no version resource; and an update list
// with one newer version, which the hub's update check reads from a file.
#include "demo/Seed.h"

#include <string>

namespace demo {
namespace {

const std::wstring kSuite = L"Software\\Zerudozuz\\";

struct Installed {
    const wchar_t* key;
    const wchar_t* program;  // a stand-in in the build's demo folder
};

// Transfer Works, Trigger Watch, Text Foundry, Result Printer and Document
// Foundry stay not installed: they have no key at all.
const Installed kInstalled[] = {
    {L"RowFoundry", L"rowfoundry.exe"},         // 5.04.12, the update list offers 5.05.01
    {L"LoadHammer", L"loadhammer.exe"},         // 3.10.00, the update list names the same version
    {L"LayoutScribe", L"layoutscribe.exe"},     // 2.123.04
    {L"ContentDiff", L"contentdiff.exe"},       // 4.01.07
    {L"DiagramStudio", L"diagramstudio.exe"},   // 6.00.01
    {L"MarkupFoundry", L"markupfoundry.exe"},   // 1.02.300
    {L"StatementDesk2", L"statementdesk.exe"},  // 10.00.03
    {L"SheetFoundry", L"sheetfoundry.exe"},     // no version resource
};

}  // namespace

void SeedProducts(const SeedContext& ctx) {
    for (const Installed& p : kInstalled)
        SetString(kSuite + p.key, L"ExePath", ctx.binDir + L"\\" + p.program);
    // Uninstalled since: the key and its path remain, the program is gone.
    SetString(kSuite + L"StructureDiff", L"ExePath", ctx.root + L"\\Removed\\Structure Diff\\sdiff.exe");

    const std::wstring list = ctx.root + L"\\updates.txt";
    WriteFileBytes(list,
                   "ZeltoUpdates 1\r\n"
                   "# Demo update list: one newer version, one equal, one product the page does not know\r\n"
                   "Row Foundry=5.05.01\r\n"
                   "Load Hammer=3.10.00\r\n"
                   "Table Bench=7.00.00\r\n");
    std::wstring url = L"file:///" + list;
    for (wchar_t& c : url)
        if (c == L'\\') c = L'/';
    SetString(kSuite + L"Quaylet\\Settings", L"UpdateUrl", url);
}

}  // namespace demo
