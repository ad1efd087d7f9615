#include "app/startup/drop_block.h"

#include <gtest/gtest.h>

namespace morvane {
namespace {

using Paths = std::vector<std::wstring>;
using Bytes = std::vector<std::uint8_t>;

std::uint32_t U32At(const Bytes& b, std::size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

void PutU32(Bytes& b, std::size_t at, std::uint32_t v) {
  for (int k = 0; k < 4; ++k) {
    b[at + k] = static_cast<std::uint8_t>(v >> (8 * k));
  }
}

std::optional<Paths> Read(const Bytes& b) {
  return ReadDropBlock(b.data(), b.size());
}

TEST(PackDropBlock, LaysOutHeaderPathsAndTerminators) {
  const Bytes block = PackDropBlock({L"abc", L"defgh", L"ijklmno"});
  ASSERT_EQ(block.size(), 58u);  // 22 + 8 + 12 + 16
  EXPECT_EQ(U32At(block, 0), 20u);
  EXPECT_EQ(U32At(block, 4), 0u);
  EXPECT_EQ(U32At(block, 8), 0u);
  EXPECT_EQ(U32At(block, 12), 0u);
  EXPECT_EQ(U32At(block, 16), 1u);
  // "abc" as UTF-16LE, then its terminator, then "defgh".
  const Bytes first(block.begin() + 20, block.begin() + 30);
  EXPECT_EQ(first, (Bytes{'a', 0, 'b', 0, 'c', 0, 0, 0, 'd', 0}));
  // The block ends with the last path's terminator and the list's terminator.
  EXPECT_EQ(Bytes(block.end() - 6, block.end()), (Bytes{'o', 0, 0, 0, 0, 0}));
}

TEST(PackDropBlock, MakesNoBlockWithoutPathsAndSkipsEmptyPaths) {
  EXPECT_TRUE(PackDropBlock({}).empty());
  EXPECT_TRUE(PackDropBlock({L""}).empty());
  // An empty path would end the list early and lose "b" and "c".
  const Bytes block = PackDropBlock({L"a", L"", L"b", L"c"});
  EXPECT_EQ(block.size(), 22u + 3 * 4);
  EXPECT_EQ(Read(block), (Paths{L"a", L"b", L"c"}));
}

TEST(PackDropBlock, RoundTripsPathsOutsideTheBasicPlane) {
  const Paths paths = {L"C:\\画像\\花.bmp", L"D:\\\U0001F338 photos\\x.png", L"E:\\a b\\c.jpg"};
  const Bytes block = PackDropBlock(paths);
  // The blossom is one surrogate pair: two code units on every platform.
  EXPECT_EQ(block.size(), 22u + (11 * 2 + 2) + (18 * 2 + 2) + (12 * 2 + 2));
  EXPECT_EQ(Read(block), paths);
}

TEST(ReadDropBlock, RejectsMalformedBlocks) {
  const Bytes good = PackDropBlock({L"x.bmp", L"y.png"});
  ASSERT_EQ(Read(good), (Paths{L"x.bmp", L"y.png"}));

  EXPECT_FALSE(ReadDropBlock(nullptr, 0));
  EXPECT_FALSE(Read(Bytes(21, 0)));  // shorter than a header and one terminator

  Bytes narrow = good;
  PutU32(narrow, 16, 0);
  EXPECT_FALSE(Read(narrow));

  Bytes early = good;
  PutU32(early, 0, 12);  // list offset inside the header
  EXPECT_FALSE(Read(early));

  Bytes beyond = good;
  PutU32(beyond, 0, static_cast<std::uint32_t>(good.size()));
  EXPECT_FALSE(Read(beyond));
  PutU32(beyond, 0, 0xFFFFFFF0u);
  EXPECT_FALSE(Read(beyond));

  // Without the list's final terminator the last path runs off the end.
  EXPECT_FALSE(Read(Bytes(good.begin(), good.end() - 2)));
  EXPECT_FALSE(Read(Bytes(good.begin(), good.end() - 3)));
  // Without the last path's terminator either.
  EXPECT_FALSE(Read(Bytes(good.begin(), good.end() - 4)));
}

TEST(ReadDropBlock, AcceptsWellFormedVariants) {
  // A larger header (list further in) and a trailing odd byte are fine.
  Bytes wide(24, 0);
  PutU32(wide, 0, 24);
  PutU32(wide, 16, 1);
  for (char c : std::string("ab")) {
    wide.push_back(static_cast<std::uint8_t>(c));
    wide.push_back(0);
  }
  wide.insert(wide.end(), {0, 0, 0, 0, 7});
  EXPECT_EQ(Read(wide), Paths{L"ab"});

  // An empty list, and bytes after the list's end, are not errors.
  Bytes none(22, 0);
  PutU32(none, 0, 20);
  PutU32(none, 16, 1);
  EXPECT_EQ(Read(none), Paths{});
  Bytes trailing = PackDropBlock({L"q"});
  trailing.insert(trailing.end(), {'z', 0, 'z', 0});
  EXPECT_EQ(Read(trailing), Paths{L"q"});

  // Oversized blocks are refused before they are looked at.
  Bytes huge = PackDropBlock({L"q"});
  huge.resize(kMaxDropBlockBytes + 1);
  EXPECT_FALSE(Read(huge));
}

}  // namespace
}  // namespace morvane
