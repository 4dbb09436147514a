// The stock module's rules for its registry settings, as the module and
// `kvlship check` read them.
#include "stock/settings.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>

namespace
{

using namespace stock;

StockItemFault Registry(const char *text, StockRegistryItem *item)
{
    static char line[kStockLineSize];
    strcpy(line, text);
    return ParseRegistryItem(line, item);
}

StockItemFault Assoc(const char *text, StockAssocItem *item)
{
    static char line[kStockLineSize];
    strcpy(line, text);
    return ParseAssocItem(line, item);
}

} // namespace

TEST(StockRegistry, ValuesOfTheProductsOwnKeysAreRead)
{
    StockRegistryItem item;
    ASSERT_EQ(Registry("hklm | Software\\Karvelo\\Tides | InstallDir | String | %DEST%", &item),
              kStockItemUsable);
    EXPECT_TRUE(item.machine);
    EXPECT_FALSE(item.number);
    EXPECT_STREQ(item.key, "Software\\Karvelo\\Tides");
    EXPECT_STREQ(item.value, "%DEST%");
    ASSERT_EQ(Registry("HKCU|SOFTWARE\\Karvelo||number|4294967295", &item), kStockItemUsable);
    EXPECT_TRUE(item.number && !item.machine && item.name[0] == 0);
    EXPECT_EQ(item.numberValue, 4294967295ul);
}

TEST(StockRegistry, OtherRootsSystemKeysAndBadNumbersAreRefused)
{
    StockRegistryItem item;
    EXPECT_EQ(Registry("HKCR|.tdw||string|x", &item), kStockItemBadRoot);
    EXPECT_EQ(Registry("HKLM|Software\\Microsoft\\Windows\\CurrentVersion\\Run|T|string|x", &item),
              kStockItemBadKey);
    EXPECT_EQ(Registry("HKLM|Software\\classes\\.tdw||string|x", &item), kStockItemBadKey);
    EXPECT_EQ(Registry("HKLM|Software|Name|string|x", &item), kStockItemBadKey);
    EXPECT_EQ(Registry("HKLM|System\\Karvelo|Name|string|x", &item), kStockItemBadKey);
    EXPECT_EQ(Registry("HKLM|Software\\Karvelo\\..\\Microsoft|N|string|x", &item),
              kStockItemBadKey);
    EXPECT_EQ(Registry("HKLM|Software\\Karvelo|N|number|4294967296", &item), kStockItemBadNumber);
    EXPECT_EQ(Registry("HKLM|Software\\Karvelo|N|number|-1", &item), kStockItemBadNumber);
    EXPECT_EQ(Registry("HKLM|Software\\Karvelo|N|number|", &item), kStockItemBadNumber);
    EXPECT_EQ(Registry("HKLM|Software\\Karvelo|N|binary|00", &item), kStockItemBadType);
    EXPECT_EQ(Registry("HKLM|Software\\Karvelo|N|string", &item), kStockItemFewFields);
}

TEST(StockAssoc, AFileTypeOfTheProductsOwnIsRead)
{
    StockAssocItem item;
    ASSERT_EQ(Assoc(".tdw|Karvelo.Tide|Tide table|Bin\\TIDE.EXE|Icons\\TIDE.ICO,2", &item),
              kStockItemUsable);
    EXPECT_STREQ(item.typeName, "Karvelo.Tide");
    EXPECT_STREQ(item.icon, "Icons\\TIDE.ICO,2");
    EXPECT_EQ(Assoc(".tdw|Karvelo.Tide|Tide table|TIDE.EXE|", &item), kStockItemUsable);
    // The system's types and whatever leaves the destination are not the product's.
    EXPECT_EQ(Assoc("tdw|Karvelo.Tide|d|TIDE.EXE|", &item), kStockItemBadExtension);
    EXPECT_EQ(Assoc(".t.dw|Karvelo.Tide|d|TIDE.EXE|", &item), kStockItemBadExtension);
    EXPECT_EQ(Assoc(".tdw|exefile|d|TIDE.EXE|", &item), kStockItemBadTypeName);
    EXPECT_EQ(Assoc(".tdw|Karvelo\\Tide|d|TIDE.EXE|", &item), kStockItemBadTypeName);
    EXPECT_EQ(Assoc(".tdw|Karvelo.Tide|d|..\\TIDE.EXE|", &item), kStockItemBadProgram);
    EXPECT_EQ(Assoc(".tdw|Karvelo.Tide|d|README.TXT|", &item), kStockItemBadProgram);
    EXPECT_EQ(Assoc(".tdw|Karvelo.Tide|d|TIDE.EXE|C:\\x.ico,0", &item), kStockItemBadProgram);
}

TEST(StockDesktop, TheBoxStartsCheckedUnlessTold)
{
    bool known = false;
    EXPECT_TRUE(ParseChecked("", &known) && known);
    EXPECT_FALSE(ParseChecked("No", &known));
    EXPECT_TRUE(known);
    EXPECT_TRUE(ParseChecked("maybe", &known));
    EXPECT_FALSE(known);
}
