// The sprite writer and decoder carry the proof of the icon tests, so they are held to the format
// here: pictures survive the round trip, and damaged sprites are refused without a crash.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "writers/bytes.h"
#include "writers/slp.h"

namespace tarnwick::fixtures {
namespace {

// Runs of every command's reach: short and long fills (past 15 and 255), colour lists past 63,
// transparent runs past 63, margins, and rows with no pixel at all.
PixelGrid Awkward() {
  PixelGrid picture(300, 6);
  for (int32_t x = 10; x < 290; ++x) picture.At(x, 0) = 7;
  for (int32_t x = 0; x < 300; ++x) picture.At(x, 2) = x & 0xFF;
  for (int32_t x = 100; x < 120; ++x) picture.At(x, 3) = 0;
  for (int32_t x = 0; x < 300; x += 2) picture.At(x, 4) = 200 + x % 3;
  picture.At(299, 5) = 255;
  return picture;
}

TEST(SlpSpriteTest, FramesSurviveTheRoundTrip) {
  const std::vector<SlpFrame> frames = {{Awkward(), 1, 2},
                                        {PixelGrid(3, 2, 9), 0, 0},
                                        {PixelGrid(0, 0), 0, 0},
                                        {PixelGrid(4, 3), 0, 0}};
  const std::string sprite = BuildSlp(frames);
  for (int32_t n = 1; n <= 4; ++n) {
    std::string why;
    const auto drawn = DecodeSlpFrame(sprite, n, &why);
    ASSERT_TRUE(drawn.has_value()) << "frame " << n << ": " << why;
    EXPECT_EQ(*drawn, frames[static_cast<size_t>(n - 1)].picture) << "frame " << n;
  }
  EXPECT_FALSE(DecodeSlpFrame(sprite, 0).has_value());
  EXPECT_FALSE(DecodeSlpFrame(sprite, 5).has_value());
}

TEST(SlpSpriteTest, DamagedSpritesAreRefused) {
  const std::string sprite = BuildSlp({{Awkward(), 0, 0}});
  for (size_t cut = 0; cut < sprite.size(); ++cut) {
    EXPECT_FALSE(DecodeSlpFrame(sprite.substr(0, cut), 1).has_value()) << cut;
  }
  // Every byte flipped in turn: decoding may succeed or fail, but stays inside the bytes.
  for (size_t at = 0; at < sprite.size(); ++at) {
    std::string damaged = sprite;
    damaged[at] = static_cast<char>(damaged[at] ^ 0xA5);
    (void)DecodeSlpFrame(damaged, 1);
  }
  std::string unknown = sprite;
  unknown[static_cast<size_t>(I32At(sprite, static_cast<size_t>(I32At(sprite, 32))))] = '\x0B';
  std::string why;
  EXPECT_FALSE(DecodeSlpFrame(unknown, 1, &why).has_value());
  EXPECT_NE(why.find("unknown command"), std::string::npos) << why;
}

}  // namespace
}  // namespace tarnwick::fixtures
