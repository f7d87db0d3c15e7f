// Colours as the platform stores them (0x00BBGGRR) and the blend between two of them.
#pragma once

#include <cstdint>

namespace base {

using Color = uint32_t;  // red in the low byte, then green, then blue

constexpr Color Rgb(int r, int g, int b) {
  return static_cast<Color>(r & 0xFF) | (static_cast<Color>(g & 0xFF) << 8) | (static_cast<Color>(b & 0xFF) << 16);
}
constexpr int RedOf(Color c) { return static_cast<int>(c & 0xFF); }
constexpr int GreenOf(Color c) { return static_cast<int>((c >> 8) & 0xFF); }
constexpr int BlueOf(Color c) { return static_cast<int>((c >> 16) & 0xFF); }

// Step `i` of `n` from `from` to `to`: each channel is from + i * (to - from) / n, the division
// truncating toward zero. With n = 0 (no steps at all) the result is `to`.
Color BlendColor(Color from, Color to, int i, int n);

}  // namespace base
