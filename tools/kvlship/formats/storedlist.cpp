// The stock module's [STORED] items, written and read by its own rules.
#include "formats/storedlist.h"

#include <vector>

#include "stock/settings.h"

std::string StoredValue(const StoredItem &item)
{
    return item.stored + "|" + (item.subFolder.empty() ? "" : item.subFolder + "\\") + item.name +
           "|" + (item.replace ? "1" : "0");
}

std::string ParseStoredItem(const std::string &value, StoredItem *item)
{
    // The stock module's own reading of the item.
    std::vector<char> line(value.begin(), value.end());
    line.push_back(0);
    stock::StockStoredItem parsed;
    stock::StockItemFault fault = stock::ParseStoredItem(line.data(), &parsed);
    if (fault == stock::kStockItemFewFields)
        return "is not \"stored name|installed path|replace\"";
    if (fault != stock::kStockItemUsable)
        return stock::StockItemFaultText(fault);
    *item = StoredItem{};
    item->stored = parsed.stored;
    item->subFolder = parsed.subFolder;
    item->name = parsed.name;
    item->replace = parsed.replace;
    return "";
}
