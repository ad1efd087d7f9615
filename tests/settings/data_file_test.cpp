// The settings file: its exact bytes, round trips, and damaged files.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "base/file.h"
#include "base/file_fault.h"
#include "base/path.h"
#include "settings/data_file.h"
#include "settings/file_compressed.h"
#include "tests/support/temp_dir.h"

namespace kiv {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testimg::TempDir;

Bytes U32(std::uint32_t v) {
  return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
          static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
}

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) {
    out.insert(out.end(), part.begin(), part.end());
  }
  return out;
}

Bytes Serialise(const DataNode& node) {
  Bytes bytes;
  File stream;
  stream.AttachVector(bytes);
  EXPECT_TRUE(node.Write(stream));
  return bytes;
}

// A settings file around an already serialised tree.
Bytes FileAround(std::int32_t tag, const Bytes& tree) {
  Bytes bytes = U32(static_cast<std::uint32_t>(tag));
  File stream;
  stream.AttachVector(bytes);
  stream.Seek(4);
  EXPECT_TRUE(WriteCompressed(stream, tree.data(), static_cast<std::uint32_t>(tree.size())));
  return bytes;
}

// Every value byte for byte and every child, in any order.
void ExpectSameTree(const DataNode& a, const DataNode& b) {
  EXPECT_EQ(a.type, b.type);
  EXPECT_EQ(a.values(), b.values());
  ASSERT_EQ(a.children().size(), b.children().size());
  for (const auto& [name, child] : a.children()) {
    const auto it = b.children().find(name);
    ASSERT_NE(it, b.children().end());
    ExpectSameTree(*child, *it->second);
  }
}

DataNode SampleTree() {
  DataNode root(2);
  root.SetString(L"DefaultDirectory", L"/写真/\U0001F4F7");
  std::int32_t placement[11] = {44, 0, 1, -1, -1, -1, -1, 10, 20, 630, 470};
  root.SetRecord(L"WindowPlacement", placement);
  root.Child(L"TabControl").SetInt(L"Index", 1);
  DataNode& options = root.Child(L"PageOption");
  options.Child(L"SubDirectory").SetInt(L"Check", 1);
  options.Child(L"Filter").SetString(L"Text", L"*.bmp|*.png|*.jpg|*.jpeg");
  options.Child(L"Output").SetString(L"Text", L"");
  options.Child(L"spConvertNum").SetInt(L"Pos", -8);
  DataNode& combo = options.Child(L"OverWrite");
  combo.SetInt(L"Size", 2);
  combo.Child(L"0").SetString(L"Text", L"上書き");
  combo.Child(L"1").SetString(L"Text", L"");
  root.SetBytes(L"", {});
  root.SetInt(L"Case", 1);
  root.SetInt(L"case", 2);
  return root;
}

TEST(SettingsEncoding, OneIntegerUnderAOneCharacterNameIs24Bytes) {
  DataNode node(2);
  node.SetInt(L"a", 7);
  EXPECT_EQ(Serialise(node), Cat({U32(2), U32(1), {'a', 0, 0, 0}, U32(4), U32(7), U32(0)}));
}

TEST(SettingsEncoding, NamesAndStringsAreUtf16LittleEndian) {
  DataNode node(0);
  node.Child(L"\U00020B9F").SetString(L"設", L"\U00020B9F");
  // U+20B9F is the surrogate pair D842 DF9F; U+8A2D is one unit.
  EXPECT_EQ(Serialise(node), Cat({U32(0),
                                  U32(0),
                                  U32(1),
                                  {0x42, 0xD8, 0x9F, 0xDF, 0, 0},
                                  U32(0),
                                  U32(1),
                                  {0x2D, 0x8A, 0, 0},
                                  U32(4),
                                  {0x42, 0xD8, 0x9F, 0xDF},
                                  U32(0)}));
}

TEST(SettingsFile, SavedFileHasTheHeaderAndOneZlibStream) {
  TempDir dir;
  const std::wstring path = dir / L"Morvane.dat";
  const DataNode root = SampleTree();
  ASSERT_TRUE(SaveDataFile(root, path));
  const Bytes file = testimg::ReadFileBytes(path);
  const Bytes tree = Serialise(root);
  ASSERT_GE(file.size(), 12u);
  EXPECT_EQ(Bytes(file.begin(), file.begin() + 4), U32(2));
  EXPECT_EQ(Bytes(file.begin() + 4, file.begin() + 8),
            U32(static_cast<std::uint32_t>(tree.size())));
  const std::uint32_t z = file[8] | (file[9] << 8) | (file[10] << 16) | (file[11] << 24);
  EXPECT_EQ(file.size(), 12u + z);
  EXPECT_EQ(file[12], 0x78);  // zlib header, default level
  EXPECT_EQ(file[13], 0x9C);
  Bytes inflated(tree.size());
  uLongf length = static_cast<uLongf>(inflated.size());
  ASSERT_EQ(uncompress(inflated.data(), &length, file.data() + 12, z), Z_OK);
  ASSERT_EQ(length, tree.size());
  // Map order may differ between the two serialisations; the trees must agree.
  DataNode reread;
  File stream;
  stream.AttachVector(inflated);
  EXPECT_TRUE(reread.Read(stream));
  ExpectSameTree(reread, root);
  EXPECT_EQ(ReadDataFileType(path), 2);
}

TEST(SettingsFile, RoundTripKeepsEveryValueAndChild) {
  TempDir dir;
  const std::wstring folder = dir / L"設定\U0001F4C1";
  ASSERT_TRUE(MakeDirectory(folder));
  const std::wstring path = AddSeparator(folder) + L"モルヴァン.dat";
  const DataNode root = SampleTree();
  ASSERT_TRUE(SaveDataFile(root, path));
  DataNode loaded;
  ASSERT_TRUE(LoadDataFile(path, loaded));
  ExpectSameTree(loaded, root);
  EXPECT_TRUE(loaded.FindBytes(L"") != nullptr);
  EXPECT_EQ(loaded.GetString(L"DefaultDirectory"), L"/写真/\U0001F4F7");
}

TEST(SettingsFile, HeaderDecidesWhetherToLoad) {
  TempDir dir;
  DataNode one(1);
  one.SetInt(L"x", 1);
  ASSERT_TRUE(testimg::WriteFileBytes(dir / L"one", FileAround(1, Serialise(one))));
  EXPECT_EQ(ReadDataFileType(dir / L"one"), 1);
  ASSERT_TRUE(testimg::WriteFileBytes(dir / L"seven", FileAround(7, Serialise(one))));
  EXPECT_EQ(ReadDataFileType(dir / L"seven"), 7);
  ASSERT_TRUE(testimg::WriteFileBytes(dir / L"negative", U32(0xFFFFFFFE)));
  EXPECT_EQ(ReadDataFileType(dir / L"negative"), -2);
  ASSERT_TRUE(testimg::WriteFileBytes(dir / L"short", {2, 0, 0}));
  EXPECT_EQ(ReadDataFileType(dir / L"short"), 0);
  ASSERT_TRUE(testimg::WriteFileBytes(dir / L"empty", {}));
  EXPECT_EQ(ReadDataFileType(dir / L"empty"), 0);
  EXPECT_EQ(ReadDataFileType(dir / L"missing"), 0);

  DataNode untouched(5);
  EXPECT_FALSE(LoadDataFile(dir / L"missing", untouched));
  EXPECT_EQ(untouched.type, 5);
}

TEST(SettingsFile, HeaderOnlyAndEmptyBlocksLoadAsEmptyTrees) {
  TempDir dir;
  for (const Bytes& bytes : {U32(2), Cat({U32(2), U32(0)})}) {
    ASSERT_TRUE(testimg::WriteFileBytes(dir / L"s.dat", bytes));
    DataNode root;
    ASSERT_TRUE(LoadDataFile(dir / L"s.dat", root));
    EXPECT_EQ(root.type, 2);
    EXPECT_TRUE(root.values().empty());
    EXPECT_TRUE(root.children().empty());
  }
}

TEST(SettingsFile, RecordOrderAndEmptyValuesSurviveLoading) {
  // Two records named "v": the second wins. An empty value exists after loading.
  const Bytes tree = Cat({U32(2),
                          U32(3),
                          {'v', 0, 0, 0},
                          U32(4),
                          U32(1),
                          {'v', 0, 0, 0},
                          U32(4),
                          U32(2),
                          {'e', 0, 0, 0},
                          U32(0),
                          U32(0)});
  TempDir dir;
  ASSERT_TRUE(testimg::WriteFileBytes(dir / L"s.dat", FileAround(2, tree)));
  DataNode root;
  ASSERT_TRUE(LoadDataFile(dir / L"s.dat", root));
  EXPECT_EQ(root.GetInt(L"v"), 2);
  ASSERT_NE(root.FindBytes(L"e"), nullptr);
  EXPECT_TRUE(root.FindBytes(L"e")->empty());
  EXPECT_EQ(root.GetString(L"e", L"default"), L"");
}

// Loads `bytes` as a settings file; the process must survive and the result
// must be true.
DataNode LoadBytes(const TempDir& dir, const Bytes& bytes) {
  DataNode root;
  EXPECT_TRUE(testimg::WriteFileBytes(dir / L"damaged.dat", bytes));
  EXPECT_TRUE(LoadDataFile(dir / L"damaged.dat", root));
  return root;
}

TEST(DamagedSettingsFile, ACutFileLoadsWithoutCrashing) {
  TempDir dir;
  const DataNode root = SampleTree();
  ASSERT_TRUE(SaveDataFile(root, dir / L"full.dat"));
  const Bytes whole = testimg::ReadFileBytes(dir / L"full.dat");
  for (std::size_t size = 0; size < whole.size(); ++size) {
    const DataNode loaded = LoadBytes(dir, Bytes(whole.begin(), whole.begin() + size));
    // A cut compressed block is damaged: nothing of the tree is taken from it.
    EXPECT_TRUE(loaded.values().empty()) << size;
  }
}

TEST(DamagedSettingsFile, ACutTreeKeepsWhatWasReadBeforeTheCut) {
  TempDir dir;
  DataNode root(2);
  root.Child(L"A").SetInt(L"first", 1);
  root.Child(L"A").SetInt(L"second", 2);
  const Bytes tree = Serialise(root);
  for (std::size_t size = 0; size <= tree.size(); ++size) {
    const DataNode loaded = LoadBytes(dir, FileAround(2, Bytes(tree.begin(), tree.begin() + size)));
    // Whatever was loaded is exactly what was saved.
    for (const auto& [name, child] : loaded.children()) {
      EXPECT_EQ(name, L"A");
      for (const auto& [value_name, bytes] : child->values()) {
        EXPECT_EQ(bytes, *root.children().at(L"A")->FindBytes(value_name)) << size;
      }
    }
    if (size == tree.size()) {
      ExpectSameTree(loaded, root);
    }
  }
}

TEST(DamagedSettingsFile, HugeCountsAndLengthsStopTheReader) {
  TempDir dir;
  // A value count of two billion with one real record behind it.
  DataNode many =
      LoadBytes(dir, FileAround(2, Cat({U32(2), U32(0x7FFFFFFF), {'a', 0, 0, 0}, U32(4), U32(9)})));
  EXPECT_EQ(many.GetInt(L"a"), 9);
  // A value length near 4 GiB: the reader stops instead of allocating it.
  DataNode longer =
      LoadBytes(dir, FileAround(2, Cat({U32(2), U32(1), {'a', 0, 0, 0}, U32(0xFFFFFFF0), U32(9)})));
  EXPECT_TRUE(longer.values().empty());
  // A raw length far beyond what the compressed bytes can hold.
  DataNode bomb = LoadBytes(dir, Cat({U32(2), U32(0xFFFFFFFF), U32(4), U32(0)}));
  EXPECT_TRUE(bomb.values().empty());
  // A compressed length beyond the end of the file.
  DataNode cut = LoadBytes(dir, Cat({U32(2), U32(24), U32(0x7FFFFFFF), U32(0)}));
  EXPECT_TRUE(cut.values().empty());
}

TEST(DamagedSettingsFile, CorruptCompressedDataLoadsAsAnEmptyTree) {
  TempDir dir;
  DataNode root(2);
  root.SetInt(L"a", 1);
  Bytes file = FileAround(2, Serialise(root));
  file[file.size() - 3] ^= 0xFF;  // break the Adler-32 trailer
  DataNode broken = LoadBytes(dir, file);
  EXPECT_TRUE(broken.values().empty());
  // The declared length must match what the stream inflates to.
  Bytes longer = FileAround(2, Serialise(root));
  longer[4] += 1;
  EXPECT_TRUE(LoadBytes(dir, longer).values().empty());
}

TEST(DamagedSettingsFile, DeepNestingIsCutOff) {
  // A hundred thousand nested children, each "one child named x": deep enough
  // to overflow the stack of a reader without a depth limit.
  const Bytes level = Cat({U32(0), U32(0), U32(1), {'x', 0, 0, 0}});
  Bytes tree;
  tree.reserve(level.size() * 100000);
  for (int i = 0; i < 100000; ++i) {
    tree.insert(tree.end(), level.begin(), level.end());
  }
  TempDir dir;
  DataNode root = LoadBytes(dir, FileAround(2, tree));
  int depth = 0;
  for (const DataNode* node = &root; !node->children().empty();
       node = node->children().begin()->second.get()) {
    ++depth;
  }
  EXPECT_LE(depth, DataNode::kMaxDepth + 1);
  EXPECT_GT(depth, 0);
}

TEST(SettingsSave, AFailedSaveKeepsThePreviousFile) {
  TempDir dir;
  const std::wstring path = dir / L"Morvane.dat";
  DataNode old(2);
  old.SetInt(L"kept", 1);
  ASSERT_TRUE(SaveDataFile(old, path));
  const Bytes before = testimg::ReadFileBytes(path);
  DataNode next = SampleTree();
  for (const FaultStep step : {FaultStep::kOpenWrite, FaultStep::kWrite, FaultStep::kFlush,
                               FaultStep::kClose, FaultStep::kMove}) {
    SCOPED_TRACE(static_cast<int>(step));
    ScopedFault fault({step, 10, L""});
    EXPECT_FALSE(SaveDataFile(next, path));
    EXPECT_GE(FaultHits(), 1);
    EXPECT_EQ(testimg::ReadFileBytes(path), before);
    EXPECT_EQ(testimg::ListNames(dir / L"*"), std::vector<std::wstring>{L"Morvane.dat"});
  }
  // A file the user made read-only freezes the settings: it stays as it is.
  ASSERT_TRUE(testimg::SetReadOnly(path, true));
  EXPECT_FALSE(SaveDataFile(next, path));
  EXPECT_EQ(testimg::ReadFileBytes(path), before);
  EXPECT_EQ(testimg::ListNames(dir / L"*"), std::vector<std::wstring>{L"Morvane.dat"});
  ASSERT_TRUE(testimg::SetReadOnly(path, false));
  EXPECT_FALSE(SaveDataFile(next, dir / L"missing" + kPathSeparator + L"x.dat"));
  ASSERT_TRUE(SaveDataFile(next, path));
  DataNode loaded;
  ASSERT_TRUE(LoadDataFile(path, loaded));
  ExpectSameTree(loaded, next);
}

}  // namespace
}  // namespace kiv
