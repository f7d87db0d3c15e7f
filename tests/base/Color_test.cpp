// The colour blend: truncation toward zero in both directions, the ends, and n = 0.
#include "base/Color.h"

#include <gtest/gtest.h>

namespace {

using base::BlendColor;
using base::Rgb;

TEST(Color, BlendTruncatesEachChannelTowardZero) {
  const base::Color blue = Rgb(74, 160, 255), white = Rgb(255, 255, 255);
  struct Case {
    base::Color from, to;
    int i, n;
    base::Color want;
  } cases[] = {
      {blue, white, 0, 326, blue},
      {blue, white, 326, 326, white},
      // 74 + 1 * 181 / 326 = 74 (0.55 dropped); 160 + 95 / 326 = 160.
      {blue, white, 1, 326, Rgb(74, 160, 255)},
      {blue, white, 2, 326, Rgb(75, 160, 255)},
      {blue, white, 163, 326, Rgb(74 + 90, 160 + 47, 255)},
      // Falling channels: 255 - 108 * 181 / 109 = 255 - 179.33 -> 255 - 179 (toward zero).
      {white, blue, 108, 109, Rgb(255 - 179, 255 - 94, 255)},
      {white, blue, 1, 109, Rgb(255 - 1, 255, 255)},
      {white, blue, 109, 109, blue},
      {Rgb(10, 20, 30), Rgb(0, 0, 0), 1, 3, Rgb(7, 14, 20)},
      {blue, white, 5, 0, white},
  };
  for (const Case& c : cases) {
    base::Color got = BlendColor(c.from, c.to, c.i, c.n);
    EXPECT_EQ(got, c.want) << "i=" << c.i << " n=" << c.n << " got " << base::RedOf(got) << ","
                           << base::GreenOf(got) << "," << base::BlueOf(got);
  }
}

TEST(Color, ChannelsKeepTheirPlaces) {
  EXPECT_EQ(Rgb(1, 2, 3), 0x030201u);
  EXPECT_EQ(base::RedOf(0x030201u), 1);
  EXPECT_EQ(base::GreenOf(0x030201u), 2);
  EXPECT_EQ(base::BlueOf(0x030201u), 3);
}

}  // namespace
