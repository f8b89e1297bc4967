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
  EXPECT_EQ(sprite.substr(0, 4), "2.0N");
  EXPECT_EQ(I32At(sprite, 4), 4);
  for (int32_t n = 1; n <= 4; ++n) {
    std::string why;
    const auto drawn = DecodeSlpFrame(sprite, n, &why);
    ASSERT_TRUE(drawn.has_value()) << "frame " << n << ": " << why;
    EXPECT_EQ(*drawn, frames[static_cast<size_t>(n - 1)].picture) << "frame " << n;
  }
  EXPECT_FALSE(DecodeSlpFrame(sprite, 0).has_value());
  EXPECT_FALSE(DecodeSlpFrame(sprite, 5).has_value());
}

TEST(SlpSpriteTest, IconPayloadDrawsEveryPixelWithoutAnOutline) {
  const PixelGrid picture = Awkward();
  const std::string payload = BuildIconPayload(0x1234, picture);
  EXPECT_EQ(I32At(payload, 0), 0x1234);
  EXPECT_EQ(I32At(payload, 4), 300);
  EXPECT_EQ(I32At(payload, 8), 6);
  // Place it as the installer does: a one-frame sprite whose outline is all zeros.
  const auto h = static_cast<size_t>(picture.height);
  const auto s = static_cast<int32_t>(64);
  Bytes sprite;
  sprite.Text("2.0N", 4).I32(1).Zeros(24);
  sprite.I32(s + 4 * picture.height).I32(s).I32(0).I32(0).I32(300).I32(6).I32(0).I32(0);
  sprite.Zeros(4 * h);
  for (size_t r = 0; r < h; ++r) sprite.I32(I32At(payload, 12 + 4 * r) + s + 8 * picture.height);
  sprite.Raw(payload.substr(12 + 4 * h));
  EXPECT_EQ(DecodeSlpFrame(sprite.str(), 1), picture);
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
  const auto first_row = static_cast<size_t>(I32At(sprite, I32At(sprite, 32)));
  unknown[first_row] = '\x0B';
  std::string why;
  EXPECT_FALSE(DecodeSlpFrame(unknown, 1, &why).has_value());
  EXPECT_NE(why.find("unknown command"), std::string::npos) << why;
}

}  // namespace
}  // namespace tarnwick::fixtures
