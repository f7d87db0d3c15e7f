// The colour blend of the painted gradients.
#include "base/Color.h"

namespace base {

Color BlendColor(Color from, Color to, int i, int n) {
  if (n == 0) return to;
  auto channel = [i, n](int a, int b) {
    long long v = a + static_cast<long long>(i) * (b - a) / n;  // C++ division truncates toward zero
    return static_cast<int>(v < 0 ? 0 : v > 255 ? 255 : v);
  };
  return Rgb(channel(RedOf(from), RedOf(to)), channel(GreenOf(from), GreenOf(to)), channel(BlueOf(from), BlueOf(to)));
}

}  // namespace base
