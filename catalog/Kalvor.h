// The two exports of Kalvor.dll, imported by name at load time.
#pragma once

#include <cstdint>

extern "C" {
// Number of catalogue rows.
__declspec(dllimport) int32_t __stdcall ProgramsCount();
// Borrowed pointer to the library's constant text of cell (row, column); valid while the
// library is loaded. Never free or change it.
__declspec(dllimport) const char* __stdcall GetArrayData(int32_t row, int32_t column);
}
