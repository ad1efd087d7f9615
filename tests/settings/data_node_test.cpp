// kiv::DataNode's typed values, children and copies.
#include <gtest/gtest.h>

#include <cstdint>

#include "settings/data_node.h"

namespace kiv {
namespace {

struct Placement {  // the shape of the window placement record: 44 bytes
  std::int32_t fields[11];
};

TEST(DataNode, IntegersReadOnlyFromValuesOfExactlyFourBytes) {
  DataNode node;
  node.SetString(L"two", L"AB");
  EXPECT_EQ(node.GetInt(L"two", -1), 0x00420041);
  node.SetString(L"one", L"A");
  node.SetString(L"three", L"ABC");
  EXPECT_EQ(node.GetInt(L"one", -1), -1);
  EXPECT_EQ(node.GetInt(L"three", -1), -1);
  EXPECT_EQ(node.GetInt(L"missing"), 0);
  node.SetInt(L"neg", -2);
  EXPECT_EQ(node.GetInt(L"neg", 5), -2);
  EXPECT_EQ(*node.FindBytes(L"neg"), (DataNode::Bytes{0xFE, 0xFF, 0xFF, 0xFF}));

  // A later value of another kind replaces the earlier one whatever its length.
  node.SetInt(L"Index", 5);
  node.SetString(L"Index", L"abc");
  EXPECT_EQ(node.FindBytes(L"Index")->size(), 6u);
  EXPECT_EQ(node.GetInt(L"Index", 0), 0);
  EXPECT_EQ(node.values().size(), 5u);
}

TEST(DataNode, StringsAndTheirFallbacks) {
  DataNode node;
  node.SetString(L"empty", L"");
  EXPECT_EQ(node.GetString(L"empty", L"default"), L"");
  EXPECT_EQ(node.GetString(L"missing", L"default"), L"default");
  EXPECT_EQ(node.GetString(L"missing"), L"");
  node.SetBytes(L"odd", {0x41, 0x00, 0x42});
  EXPECT_EQ(node.GetString(L"odd"), L"A");
  node.SetString(L"jp", L"出力\U00020B9F");
  EXPECT_EQ(node.FindBytes(L"jp")->size(), 8u);  // four UTF-16 code units
  EXPECT_EQ(node.GetString(L"jp"), L"出力\U00020B9F");
  // Names are case-sensitive.
  node.SetInt(L"Index", 1);
  node.SetInt(L"index", 2);
  EXPECT_EQ(node.GetInt(L"Index"), 1);
  EXPECT_EQ(node.GetInt(L"index"), 2);
}

TEST(DataNode, RecordsNeedTheirExactSize) {
  DataNode node;
  Placement placement{{44, 0, 1, -1, -1, -1, -1, 10, 20, 630, 470}};
  node.SetRecord(L"WindowPlacement", placement);
  Placement read{};
  EXPECT_TRUE(node.GetRecord(L"WindowPlacement", read));
  EXPECT_EQ(read.fields[10], 470);
  for (std::size_t size : {43u, 45u}) {
    node.SetBytes(L"WindowPlacement", DataNode::Bytes(size, 0xEE));
    Placement untouched{{1}};
    EXPECT_FALSE(node.GetRecord(L"WindowPlacement", untouched));
    EXPECT_EQ(untouched.fields[0], 1);
    EXPECT_EQ(untouched.fields[10], 0);
  }
}

TEST(DataNode, ChildrenAreCreatedOnceAndApartFromValues) {
  DataNode root(2);
  root.SetInt(L"TabControl", 3);
  DataNode& tab = root.Child(L"TabControl");
  EXPECT_EQ(tab.type, 0);
  tab.SetInt(L"Index", 2);
  EXPECT_EQ(&root.Child(L"TabControl"), &tab);
  EXPECT_EQ(root.Child(L"TabControl").GetInt(L"Index"), 2);
  EXPECT_EQ(root.GetInt(L"TabControl"), 3);
}

TEST(DataNode, CopiesAreDeep) {
  DataNode source(2);
  source.Child(L"PageOption").Child(L"Filter").SetString(L"Text", L"*.bmp");
  DataNode copy = source;
  copy.Child(L"PageOption").Child(L"Filter").SetString(L"Text", L"*.png");
  EXPECT_EQ(source.Child(L"PageOption").Child(L"Filter").GetString(L"Text"), L"*.bmp");
  DataNode assigned;
  assigned = copy;
  copy.Child(L"PageOption").Child(L"Filter").SetString(L"Text", L"*.jpg");
  EXPECT_EQ(assigned.Child(L"PageOption").Child(L"Filter").GetString(L"Text"), L"*.png");
  EXPECT_EQ(assigned.type, 2);
}

}  // namespace
}  // namespace kiv
