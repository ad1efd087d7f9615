#include "app/startup/command_line.h"

#include <gtest/gtest.h>

namespace morvane {
namespace {

using Paths = std::vector<std::wstring>;

TEST(SplitCommandLine, SeparatesPathsAtSpacesOnly) {
  EXPECT_EQ(SplitCommandLine(L""), Paths{});
  EXPECT_EQ(SplitCommandLine(L"    "), Paths{});
  EXPECT_EQ(SplitCommandLine(L"C:\\a.bmp"), Paths{L"C:\\a.bmp"});
  // Runs of spaces and spaces at either end make no empty paths.
  EXPECT_EQ(SplitCommandLine(L"  C:\\a.bmp   D:\\b  "), (Paths{L"C:\\a.bmp", L"D:\\b"}));
  // A tab is part of a path, not a separator.
  EXPECT_EQ(SplitCommandLine(L"C:\\a\tb.bmp x"), (Paths{L"C:\\a\tb.bmp", L"x"}));
  // Backslashes are literal, also before a quote.
  EXPECT_EQ(SplitCommandLine(L"\"C:\\dir\\\" y"), (Paths{L"C:\\dir\\", L"y"}));
  // Duplicates are kept in order.
  EXPECT_EQ(SplitCommandLine(L"a b a"), (Paths{L"a", L"b", L"a"}));
}

TEST(SplitCommandLine, HandlesQuotes) {
  EXPECT_EQ(SplitCommandLine(L"\"C:\\My Pictures\\a b.png\" D:\\c.jpg"),
            (Paths{L"C:\\My Pictures\\a b.png", L"D:\\c.jpg"}));
  // A quote inside an unquoted word belongs to the word.
  EXPECT_EQ(SplitCommandLine(L"ab\"cd ef"), (Paths{L"ab\"cd", L"ef"}));
  // A quoted path directly followed by a word gives two paths.
  EXPECT_EQ(SplitCommandLine(L"\"a b\"c"), (Paths{L"a b", L"c"}));
  EXPECT_EQ(SplitCommandLine(L"\"a\"\"b\""), (Paths{L"a", L"b"}));
  // An unterminated quote drops itself and everything after it.
  EXPECT_EQ(SplitCommandLine(L"first \"second third"), Paths{L"first"});
  EXPECT_EQ(SplitCommandLine(L"\""), Paths{});
  // A pair of quotes with nothing between them is an empty path.
  EXPECT_EQ(SplitCommandLine(L"a \"\" b"), (Paths{L"a", L"", L"b"}));
}

TEST(SplitCommandLine, StopsAtNulAndKeepsOtherCharacters) {
  EXPECT_EQ(SplitCommandLine(std::wstring(L"a b\0c d", 7)), (Paths{L"a", L"b"}));
  EXPECT_EQ(SplitCommandLine(L"C:\\写真\\花.bmp \"D:\\新しい フォルダ\""),
            (Paths{L"C:\\写真\\花.bmp", L"D:\\新しい フォルダ"}));
}

}  // namespace
}  // namespace morvane
