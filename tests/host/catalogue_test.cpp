#include <gtest/gtest.h>

#include "catalogue/Catalogue.h"

using namespace catalogue;

TEST(Catalogue, PageCommandsMapByTableNotArithmetic) {
    EXPECT_EQ(PagePositionFromCommand(130), 0);
    EXPECT_EQ(PagePositionFromCommand(205), 8);
    EXPECT_EQ(PagePositionFromCommand(208), 9);
    EXPECT_EQ(PagePositionFromCommand(240), 13);
    EXPECT_FALSE(PagePositionFromCommand(131));
    EXPECT_FALSE(PagePositionFromCommand(128));
}

TEST(Catalogue, PageOrderAndMenuMembership) {
    const int order[] = {2, 5, 1, 3, 12, 9, 7, 6, 16, 17, 10, 20, 0, 19};
    for (int i = 0; i < kPageEntryCount; ++i) {
        EXPECT_EQ(kPageEntries[i].product, order[i]);
        EXPECT_EQ(FindProduct(order[i])->pageCommand, kPageEntries[i].command);
    }
    // Sheet Foundry has a page entry but no Tools command; 4, 8 and 11 the reverse.
    EXPECT_FALSE(ProductFromToolsCommand(25019));
    EXPECT_FALSE(ProductFromToolsCommand(25014));
    EXPECT_FALSE(ProductFromToolsCommand(25013));
    for (int id : {4, 8, 11}) {
        EXPECT_EQ(ProductFromToolsCommand(25000 + id), id);
        EXPECT_EQ(FindProduct(id)->pageCommand, 0);
    }
    int menu = 0;
    for (const auto& p : kProducts) menu += p.inToolsMenu;
    EXPECT_EQ(menu, 16);
}

TEST(Catalogue, DescriptionsCarryThreeDroppedCharacters) {
    for (const auto& p : kProducts) EXPECT_EQ(std::wstring(p.description).substr(0, 3), L"is ") << p.key;
}
