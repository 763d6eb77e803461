#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/bundle/LabReader.h"
#include "core/common/Bytes.h"

namespace vld::samples {

// A bundle laid out field by field, for damaged and unusual directories that
// LabWriter would never produce.
struct TRawRecord {
  std::int32_t nameOffset = 0;
  std::int32_t offset = 0;
  std::int32_t size = 0;
  std::uint32_t reserved = 0;
};

struct TRawLab {
  std::uint32_t magic = kMagicLABN;
  std::uint32_t word2 = 0x10000;
  std::int32_t count = 0;
  std::uint32_t word4 = 0;
  std::uint32_t namesPosition = kNamesOffsetConstant;
  std::vector<TRawRecord> records;
  Bytes tail;  // whatever follows the records: names, data

  Bytes Build() const;
};

// A name as stored: every byte XOR the name mask, then a raw 0x00.
Bytes MaskedName(std::string_view name);

// A bundle of n entries of the given size each, named "dir<k>\\file<i>.dat"
// spread over `folders` folders (for benchmarks and volume tests).
Bytes GeneratedBundle(int n, int entrySize, int folders);

}  // namespace vld::samples
