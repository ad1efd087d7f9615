// kiv::DataNode: the settings tree. A node has a tag, named values (raw
// bytes given meaning by the typed reads and writes below) and named child
// nodes. A tree is built for one save or one load of the settings and then
// discarded; controls write their state into the node they are given and
// read it back from it.
//
// Names are compared exactly, code unit by code unit (case-sensitive); a
// name must not contain the character 0; the empty name is allowed. Values
// and children are separate name spaces. Storing under an existing name
// replaces the earlier entry. Iteration order carries no meaning.
//
// Byte layouts (little endian): an integer is 4 bytes; a string is its
// UTF-16 code units, 2 bytes each, no terminator, no length (the value's
// length gives it; on Linux characters above U+FFFF are surrogate pairs);
// a record is its bytes as laid out in memory.
//
// Typed reads never fail: a missing name or a value of the wrong length
// yields the caller's fallback.
//
// Threads: a tree belongs to one thread. A node owns its whole subtree;
// copying a node copies the subtree.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <vector>

namespace kiv {

class File;

class DataNode {
 public:
  using Bytes = std::vector<std::uint8_t>;
  using ValueMap = std::unordered_map<std::wstring, Bytes>;
  using ChildMap = std::unordered_map<std::wstring, std::unique_ptr<DataNode>>;

  explicit DataNode(std::int32_t type = 0) : type(type) {}
  DataNode(const DataNode& other);
  DataNode& operator=(const DataNode& other);
  DataNode(DataNode&&) = default;
  DataNode& operator=(DataNode&&) = default;
  ~DataNode();

  // The child named `name`; inserts an empty child (tag 0) first when there
  // is none. The reference stays valid until the child is replaced or this
  // node is destroyed.
  DataNode& Child(const std::wstring& name);

  void SetInt(const std::wstring& name, std::int32_t value);
  // The stored value if `name` holds exactly 4 bytes; otherwise `fallback`.
  std::int32_t GetInt(const std::wstring& name, std::int32_t fallback = 0) const;

  void SetString(const std::wstring& name, const std::wstring& text);
  // The stored string (a trailing odd byte is ignored), or the empty string
  // when `name` does not exist.
  std::wstring GetString(const std::wstring& name) const;
  // As above, but `fallback` when `name` does not exist. A stored empty
  // value yields the empty string, not the fallback.
  std::wstring GetString(const std::wstring& name, const std::wstring& fallback) const;

  // Stores the bytes of a plain record.
  template <typename T>
  void SetRecord(const std::wstring& name, const T& record) {
    static_assert(std::is_trivially_copyable_v<T>, "records are stored as raw bytes");
    const auto* p = reinterpret_cast<const std::uint8_t*>(&record);
    SetBytes(name, Bytes(p, p + sizeof(T)));
  }
  // Fills `record` and returns true when `name` holds exactly sizeof(T)
  // bytes; otherwise returns false and leaves `record` untouched.
  template <typename T>
  bool GetRecord(const std::wstring& name, T& record) const {
    static_assert(std::is_trivially_copyable_v<T>, "records are stored as raw bytes");
    const Bytes* bytes = FindBytes(name);
    if (bytes == nullptr || bytes->size() != sizeof(T)) {
      return false;
    }
    std::memcpy(&record, bytes->data(), sizeof(T));
    return true;
  }

  // Raw access to a value: stores `bytes` under `name`; finds the bytes of
  // `name` (null when absent; valid until the value is replaced).
  void SetBytes(const std::wstring& name, Bytes bytes);
  const Bytes* FindBytes(const std::wstring& name) const;

  // Appends this node and its subtree to `stream` in the settings file's
  // encoding. Returns false when a write fell short.
  bool Write(File& stream) const;

  // Reads one serialised node from `stream`: replaces the tag and adds the
  // values and children read (an entry replaces one of the same name).
  // Reading stops at the first field, count or length that runs past the
  // data, keeping what was read before it, and at a nesting depth of
  // kMaxDepth. Returns true when the node was read whole, false when it
  // stopped early.
  bool Read(File& stream);

  // Deepest nesting of children Read accepts below the node it is called on.
  static constexpr int kMaxDepth = 64;

  const ValueMap& values() const { return values_; }
  const ChildMap& children() const { return children_; }

  // The tag given at construction; the settings file repeats the root's.
  std::int32_t type = 0;

 private:
  bool ReadAt(File& stream, int depth);

  ValueMap values_;
  ChildMap children_;
};

}  // namespace kiv
