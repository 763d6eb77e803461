#include "core/audio/SurfaceDescription.h"

#include <algorithm>

namespace vld {

std::vector<std::string> SplitLines(ByteSpan text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  const std::size_t n = text.size();
  for (std::size_t i = 0; i < n; ++i) {
    if (text[i] == '\r' || text[i] == '\n') {
      lines.emplace_back(reinterpret_cast<const char*>(text.data()) + start, i - start);
      if (text[i] == '\r' && i + 1 < n && text[i + 1] == '\n') ++i;
      start = i + 1;
    }
  }
  if (start < n) lines.emplace_back(reinterpret_cast<const char*>(text.data()) + start, n - start);
  return lines;
}

TSurfaceFrames ParseSurfaceDescription(ByteSpan text) {
  TSurfaceFrames frames;
  std::vector<std::string> lines = SplitLines(text);
  for (std::size_t i = 2; i < lines.size(); ++i) {
    std::string& line = lines[i];
    if (line == "END_OF_SECTION") break;
    if (frames.items.size() == kMaxSurfaceItems) {
      frames.cut = true;
      break;
    }
    if (line.rfind("TEX:", 0) == 0) {
      line.erase(0, std::min<std::size_t>(7, line.size()));
      std::replace(line.begin(), line.end(), '/', '\\');
    }
    frames.items.push_back(std::move(line));
  }
  return frames;
}

}  // namespace vld
