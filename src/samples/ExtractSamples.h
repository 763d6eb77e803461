#pragma once

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/bundle/LabWriter.h"
#include "core/common/Bytes.h"

namespace vld::samples {

// A bundle of entries given as (name, text) pairs, in that order.
LabWriter TextBundle(std::initializer_list<std::pair<std::string_view, std::string_view>> entries);

// A Bink file of `size` bytes (at least 8): "BIKi", the size field, then a
// byte pattern that depends on `seed`.
Bytes BuildBinkFile(std::size_t size, std::uint32_t seed = 1);

// A Smush-wrapped file: "SMUS" and a small header, zero filler up to
// `binkOffset`, then `bink`. Any offset is accepted, so that files the probe
// must miss can be built as well.
Bytes BuildSmushFile(std::size_t binkOffset, ByteSpan bink);

// Entry names that try to leave the extraction folder or upset the file
// system: "..", leading separators, drives, empty and "." parts, control
// bytes, separators only.
std::vector<std::string> HostileEntryNames();

// Overwrites the offset and size fields of directory record `index` in a
// built bundle, for bundles whose records point past the end.
void SetEntryRecord(Bytes& bundle, int index, std::int32_t offset, std::int32_t size);

// A bundle of many entries for extraction timing: `entries` files named
// "dirNNN\fileNNNNN.dat" spread over `folders` folders, sizes between
// `minSize` and `maxSize` (skewed towards the small end: mean about a
// quarter of the way), contents derived from `seed`.
struct TGeneratedBundle {
  int entries = 20000;
  int folders = 200;
  std::size_t minSize = 1024;
  std::size_t maxSize = 200 * 1024;
  std::uint32_t seed = 7;
};

// Writes the bundle to `path` without holding it in memory; returns the
// total size of the entries' data.
std::int64_t WriteGeneratedBundle(const std::filesystem::path& path, const TGeneratedBundle& layout);

}  // namespace vld::samples
