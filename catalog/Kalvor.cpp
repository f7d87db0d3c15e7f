// Kalvor.dll: the fixed catalogue of the program family, registry key name and display name
// per program.
#include <windows.h>

#include <cstdint>

namespace {

const int32_t kRows = 11;

// Row-major: row r column c is entry r * 2 + c. Row 4 is the settings tool itself, row 6 the
// example program in examples/ (its update component's RegistryKey); only the last row has a
// display name that differs from its key name.
const char* const kCatalog[kRows * 2] = {
    "Rechnungsblick", "Rechnungsblick",
    "Adressmeister",  "Adressmeister",
    "Kassenbuch",     "Kassenbuch",
    "Terminwerk",     "Terminwerk",
    "Ostvane",        "Ostvane",
    "Lagerfix",       "Lagerfix",
    "Notizkasten",    "Notizkasten",
    "Fotoschachtel",  "Fotoschachtel",
    "Vereinskasse",   "Vereinskasse",
    "Haushaltsplan",  "Haushaltsplan",
    "Woerterbuch",    "Wörterbuch",
};

const char kEmpty[] = "";

}  // namespace

extern "C" {

int32_t __stdcall ProgramsCount() { return kRows; }

// The catalogue's own constant text; a row or column outside the table gives an empty text.
const char* __stdcall GetArrayData(int32_t row, int32_t column) {
  if (row < 0 || row >= kRows || column < 0 || column > 1) return kEmpty;
  return kCatalog[row * 2 + column];
}

}  // extern "C"
