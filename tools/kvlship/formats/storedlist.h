// The stock module's [STORED] items (setupdist.h has the format), written by
// build and read by check by the stock module's own rules.
#pragma once

#include <string>

struct StoredItem {
    std::string stored;    // name in the distribution folder
    std::string subFolder; // below the destination, may be empty
    std::string name;      // installed name
    bool replace = false;
};

// The item's value: "stored|sub-folder\name|replace".
std::string StoredValue(const StoredItem &item);

// Reads a value as the stock module does; returns why it skips it, or "".
std::string ParseStoredItem(const std::string &value, StoredItem *item);
