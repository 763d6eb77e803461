#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "core/common/Bytes.h"

namespace vld {

// The frame list holds at most this many items; a description listing more
// is cut there (the player says so).
constexpr std::size_t kMaxSurfaceItems = 4096;

// The frame list of a surface description: every line from the third on, up
// to the line before the first line that is exactly "END_OF_SECTION" (or to
// the last line). A line beginning with "TEX:" loses its first seven
// characters and has every "/" turned into "\", which gives the texture's
// entry name; other lines are listed unchanged. Lines end at CR, LF or CR LF.
struct TSurfaceFrames {
  std::vector<std::string> items;
  bool cut = false;  // more than kMaxSurfaceItems items were listed
};

TSurfaceFrames ParseSurfaceDescription(ByteSpan text);

// The text split into lines as the player reads it.
std::vector<std::string> SplitLines(ByteSpan text);

}  // namespace vld
