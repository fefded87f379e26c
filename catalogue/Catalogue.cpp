#include "catalogue/Catalogue.h"

namespace catalogue {

const std::array<ProductInfo, 18> kProducts = {{
    {ZP_STATEMENT_DESK, L"StatementDesk2", L"Statement Desk",
     L"is an SQL editor with code completion, query plans and result grids for every database you use",
     L"statementdesk/", true, 230},
    {ZP_LAYOUT_SCRIBE, L"LayoutScribe", L"Layout Scribe",
     L"is a report designer that turns query results into printable and exportable documents",
     L"layoutscribe/", true, 150},
    {ZP_ROW_FOUNDRY, L"RowFoundry", L"Row Foundry",
     L"is a test data generator that fills tables with realistic, consistent rows", L"rowfoundry/", true,
     130},
    {ZP_TRANSFER_WORKS, L"TransferWorks", L"Transfer Works",
     L"is a data migration tool that moves tables and rows between different database systems",
     L"transferworks/", true, 160},
    {ZP_TABLE_BENCH, L"TableBench", L"Table Bench",
     L"is a table editor for browsing and changing rows directly in the database", L"tablebench/", true, 0},
    {ZP_LOAD_HAMMER, L"LoadHammer", L"Load Hammer",
     L"is a load testing tool that runs SQL scripts from many simulated users at once", L"loadhammer/", true,
     140},
    {ZP_DIAGRAM_STUDIO, L"DiagramStudio", L"Diagram Studio",
     L"is a database modelling tool for entity-relationship diagrams, forward and reverse engineering",
     L"diagramstudio/", true, 200},
    {ZP_STRUCTURE_DIFF, L"StructureDiff", L"Structure Diff",
     L"is a schema comparison tool that finds and scripts the differences between two databases",
     L"structurediff/", true, 190},
    {ZP_VALUE_MASKER, L"ValueMasker", L"Value Masker",
     L"is a data masking tool that replaces sensitive values with safe substitutes", L"valuemasker/", true,
     0},
    {ZP_CONTENT_DIFF, L"ContentDiff", L"Content Diff",
     L"is a data comparison tool that finds and synchronises differing rows between two tables",
     L"contentdiff/", true, 180},
    {ZP_RESULT_PRINTER, L"ResultPrinter", L"Result Printer",
     L"is a print and export tool for query results in many file formats", L"resultprinter/", true, 210},
    {ZP_OBJECT_BROWSER, L"ObjectBrowser", L"Object Browser",
     L"is a browser for the objects of a database: tables, views, procedures and their sources",
     L"objectbrowser/", true, 0},
    {ZP_TRIGGER_WATCH, L"TriggerWatch", L"Trigger Watch",
     L"is an audit tool that records changes to tables through generated triggers", L"triggerwatch/", true,
     170},
    {ZP_QUAYLET, L"Quaylet", L"Quaylet",
     L"is the hub of the suite: products, connections, recent projects and the SQL library", L"quaylet/",
     false, 0},
    {ZP_MARKUP_FOUNDRY, L"MarkupFoundry", L"Markup Foundry",
     L"is a generator of XML and HTML documents from database content", L"markupfoundry/", true, 205},
    {ZP_TEXT_FOUNDRY, L"TextFoundry", L"Text Foundry",
     L"is a generator of plain text and fixed-width files from database content", L"textfoundry/", true, 208},
    {ZP_SHEET_FOUNDRY, L"SheetFoundry", L"Sheet Foundry",
     L"is a generator of spreadsheets from database content, with formulas and formatting", L"sheetfoundry/",
     false, 240},
    {ZP_DOCUMENT_FOUNDRY, L"DocumentFoundry", L"Document Foundry",
     L"is a generator of word-processor documents and letters from database content", L"documentfoundry/",
     true, 220},
}};

const std::array<PageEntry, kPageEntryCount> kPageEntries = {{
    {ZP_ROW_FOUNDRY, 130},
    {ZP_LOAD_HAMMER, 140},
    {ZP_LAYOUT_SCRIBE, 150},
    {ZP_TRANSFER_WORKS, 160},
    {ZP_TRIGGER_WATCH, 170},
    {ZP_CONTENT_DIFF, 180},
    {ZP_STRUCTURE_DIFF, 190},
    {ZP_DIAGRAM_STUDIO, 200},
    {ZP_MARKUP_FOUNDRY, 205},
    {ZP_TEXT_FOUNDRY, 208},
    {ZP_RESULT_PRINTER, 210},
    {ZP_DOCUMENT_FOUNDRY, 220},
    {ZP_STATEMENT_DESK, 230},
    {ZP_SHEET_FOUNDRY, 240},
}};

const ProductInfo* FindProduct(int id) {
    for (const auto& p : kProducts)
        if (p.id == id) return &p;
    return nullptr;
}

std::optional<int> PagePositionFromCommand(int command) {
    for (int i = 0; i < kPageEntryCount; ++i)
        if (kPageEntries[i].command == command) return i;
    return std::nullopt;
}

std::optional<ZELTO_PRODUCT> ProductFromToolsCommand(int command) {
    const ProductInfo* p = FindProduct(command - kToolsCommandBase);
    if (p && p->inToolsMenu) return p->id;
    return std::nullopt;
}

}  // namespace catalogue
