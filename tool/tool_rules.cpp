// The settings tool's pure rules.
#include "tool/tool_rules.h"

#include "base/StrUtils.h"

namespace tool {

const char kStandardEntry[] = "Standard (7/28)";

std::string CatalogLookup(const std::vector<CatalogRow>& table, const std::string& text, int column) {
  if (column != 0 && column != 1) return std::string();
  for (const CatalogRow& row : table) {
    const std::string& cell = column == 0 ? row.first : row.second;
    if (cell == text) return column == 0 ? row.second : row.first;
  }
  return std::string();
}

std::string IntervalEntry(bool noUpdate, bool hasInterval, int interval) {
  if (noUpdate) return "0";
  if (hasInterval) return base::IntToStr(interval);
  return kStandardEntry;
}

}  // namespace tool
