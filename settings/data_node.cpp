#include "settings/data_node.h"

#include "base/file.h"
#include "base/unicode.h"
#include "settings/little_endian.h"

namespace kiv {
namespace {

// Longest name Read accepts, in UTF-16 code units; the program's names are
// short words and decimal indexes.
constexpr std::size_t kMaxNameUnits = 32767;

bool WriteName(File& stream, const std::wstring& name) {
  std::u16string units = WideToUtf16(name);
  units.push_back(u'\0');
  std::vector<std::uint8_t> bytes;
  bytes.reserve(units.size() * 2);
  for (char16_t unit : units) {
    bytes.push_back(static_cast<std::uint8_t>(unit));
    bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  const auto length = static_cast<std::uint32_t>(bytes.size());
  return stream.Write(length, bytes.data()) == length;
}

// Reads code units up to the terminating 0. False when the data ends first
// or the name is implausibly long.
bool ReadName(File& stream, std::wstring* name) {
  std::u16string units;
  for (;;) {
    std::uint8_t bytes[2] = {0, 0};
    if (stream.Read(2, bytes) != 2) {
      return false;
    }
    const auto unit = static_cast<char16_t>(bytes[0] | (bytes[1] << 8));
    if (unit == 0) {
      break;
    }
    if (units.size() >= kMaxNameUnits) {
      return false;
    }
    units.push_back(unit);
  }
  *name = Utf16ToWide(units);
  return true;
}

}  // namespace

DataNode::DataNode(const DataNode& other) : type(other.type), values_(other.values_) {
  for (const auto& [name, child] : other.children_) {
    children_.emplace(name, std::make_unique<DataNode>(*child));
  }
}

DataNode& DataNode::operator=(const DataNode& other) {
  if (this != &other) {
    DataNode copy(other);
    *this = std::move(copy);
  }
  return *this;
}

DataNode::~DataNode() = default;

DataNode& DataNode::Child(const std::wstring& name) {
  std::unique_ptr<DataNode>& child = children_[name];
  if (!child) {
    child = std::make_unique<DataNode>(0);
  }
  return *child;
}

void DataNode::SetBytes(const std::wstring& name, Bytes bytes) {
  values_[name] = std::move(bytes);
}

const DataNode::Bytes* DataNode::FindBytes(const std::wstring& name) const {
  const auto it = values_.find(name);
  return it == values_.end() ? nullptr : &it->second;
}

void DataNode::SetInt(const std::wstring& name, std::int32_t value) {
  const auto raw = static_cast<std::uint32_t>(value);
  SetBytes(name, Bytes{static_cast<std::uint8_t>(raw), static_cast<std::uint8_t>(raw >> 8),
                       static_cast<std::uint8_t>(raw >> 16), static_cast<std::uint8_t>(raw >> 24)});
}

std::int32_t DataNode::GetInt(const std::wstring& name, std::int32_t fallback) const {
  const Bytes* bytes = FindBytes(name);
  if (bytes == nullptr || bytes->size() != 4) {
    return fallback;
  }
  const Bytes& b = *bytes;
  return static_cast<std::int32_t>(
      static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
      (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24));
}

void DataNode::SetString(const std::wstring& name, const std::wstring& text) {
  const std::u16string units = WideToUtf16(text);
  Bytes bytes;
  bytes.reserve(units.size() * 2);
  for (char16_t unit : units) {
    bytes.push_back(static_cast<std::uint8_t>(unit));
    bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  SetBytes(name, std::move(bytes));
}

std::wstring DataNode::GetString(const std::wstring& name) const {
  return GetString(name, std::wstring());
}

std::wstring DataNode::GetString(const std::wstring& name, const std::wstring& fallback) const {
  const Bytes* bytes = FindBytes(name);
  if (bytes == nullptr) {
    return fallback;
  }
  std::u16string units(bytes->size() / 2, u'\0');
  for (std::size_t i = 0; i < units.size(); ++i) {
    units[i] = static_cast<char16_t>((*bytes)[2 * i] | ((*bytes)[2 * i + 1] << 8));
  }
  return Utf16ToWide(units);
}

bool DataNode::Write(File& stream) const {
  bool ok =
      le::WriteI32(stream, type) && le::WriteI32(stream, static_cast<std::int32_t>(values_.size()));
  for (const auto& [name, bytes] : values_) {
    const auto length = static_cast<std::uint32_t>(bytes.size());
    ok = ok && WriteName(stream, name) && le::WriteU32(stream, length) &&
         (length == 0 || stream.Write(length, bytes.data()) == length);
  }
  ok = ok && le::WriteI32(stream, static_cast<std::int32_t>(children_.size()));
  for (const auto& [name, child] : children_) {
    ok = ok && WriteName(stream, name) && child->Write(stream);
  }
  return ok;
}

bool DataNode::Read(File& stream) {
  return ReadAt(stream, 0);
}

bool DataNode::ReadAt(File& stream, int depth) {
  std::int32_t tag = 0;
  if (!le::ReadI32(stream, &tag)) {
    return false;
  }
  type = tag;
  // Counts only bound the loops: each record must also fit in the data that
  // remains, so a damaged count cannot make the reader run or allocate
  // beyond the file.
  std::int32_t value_count = 0;
  if (!le::ReadI32(stream, &value_count)) {
    return false;
  }
  for (std::int32_t i = 0; i < value_count; ++i) {
    std::wstring name;
    std::uint32_t length = 0;
    if (!ReadName(stream, &name) || !le::ReadU32(stream, &length) || length > stream.Remaining()) {
      return false;
    }
    Bytes bytes(length);
    if (length != 0 && stream.Read(length, bytes.data()) != length) {
      return false;
    }
    values_[name] = std::move(bytes);
  }
  std::int32_t child_count = 0;
  if (!le::ReadI32(stream, &child_count)) {
    return false;
  }
  for (std::int32_t i = 0; i < child_count; ++i) {
    std::wstring name;
    if (!ReadName(stream, &name) || depth >= kMaxDepth) {
      return false;
    }
    auto child = std::make_unique<DataNode>(0);
    const bool whole = child->ReadAt(stream, depth + 1);
    children_[name] = std::move(child);
    if (!whole) {
      return false;
    }
  }
  return true;
}

}  // namespace kiv
