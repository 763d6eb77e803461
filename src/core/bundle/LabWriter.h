#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "core/common/Bytes.h"

namespace vld {

struct TLabEntry {
  std::string name;  // 8-bit, '\' separates folders
  Bytes data;
};

// Writes the LAB format: 20-byte header, 16-byte records, the masked names
// table, then the entries' data in directory order.
class LabWriter {
 public:
  void Add(std::string name, Bytes data) { entries_.push_back({std::move(name), std::move(data)}); }
  void Add(TLabEntry entry) { entries_.push_back(std::move(entry)); }
  std::size_t Count() const { return entries_.size(); }
  const std::vector<TLabEntry>& Entries() const { return entries_; }

  Bytes Build() const;
  void Write(const std::filesystem::path& path) const;  // through a temporary file

 private:
  std::vector<TLabEntry> entries_;
};

// Packs every regular file below `dir` (names relative to it, '\' separated,
// sorted) into a bundle at `out`. Returns the number of entries.
std::size_t PackFolder(const std::filesystem::path& dir, const std::filesystem::path& out);

}  // namespace vld
