// The settings tool's pure rules: catalogue lookup and the interval entries of the product list.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace tool {

// One catalogue row: column 0 the registry key name, column 1 the display name.
using CatalogRow = std::pair<std::string, std::string>;

// The entry of a program that has nothing stored: its own default applies.
extern const char kStandardEntry[];  // "Standard (7/28)"

// The other column of the first row whose cell in `column` (0 or 1) equals `text` exactly
// (byte-wise, case-sensitive); empty when no row matches or the column is neither 0 nor 1.
std::string CatalogLookup(const std::vector<CatalogRow>& table, const std::string& text, int column);

// The list entry made from a program key: "0" when "NoUpdate" exists, else the decimal text of
// "UpdateInterval" when it exists, else the standard entry.
std::string IntervalEntry(bool noUpdate, bool hasInterval, int interval);

}  // namespace tool
