#include "samples/ExtractSamples.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "core/bundle/LabReader.h"
#include "core/common/Errors.h"
#include "core/common/FileIO.h"

namespace vld::samples {

namespace {

std::uint64_t SplitMix(std::uint64_t& state) {
  std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

void StoreU32LE(Bytes& out, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace

LabWriter TextBundle(std::initializer_list<std::pair<std::string_view, std::string_view>> entries) {
  LabWriter lab;
  for (const auto& [name, text] : entries) lab.Add(std::string(name), Bytes(text.begin(), text.end()));
  return lab;
}

Bytes BuildBinkFile(std::size_t size, std::uint32_t seed) {
  Bytes b;
  PutText(b, "BIKi");
  PutU32LE(b, static_cast<std::uint32_t>(std::max<std::size_t>(size, 8) - 8));
  std::uint64_t state = seed;
  while (b.size() < size) b.push_back(static_cast<std::uint8_t>(SplitMix(state)));
  return b;
}

Bytes BuildSmushFile(std::size_t binkOffset, ByteSpan bink) {
  Bytes s;
  PutText(s, "SMUS");
  PutU32BE(s, static_cast<std::uint32_t>(binkOffset + bink.size() - 8));
  PutText(s, "AHDR");
  PutU32BE(s, 0);
  s.resize(binkOffset, 0);
  s.insert(s.end(), bink.begin(), bink.end());
  return s;
}

std::vector<std::string> HostileEntryNames() {
  return {
      "..\\..\\escaped.txt",
      "\\rooted.txt",
      "/slashrooted.txt",
      "C:\\windows\\drive.txt",
      "d:relative.txt",
      "gfx\\..\\..\\..\\up.txt",
      "a\\\\.\\b\\.\\dots.txt",
      "mixed/slash\\name.txt",
      "ctrl\x01\x1f\x7f.txt",
      std::string("\\\\\\"),
      "..",
      "",
      "trailing\\",
      "\\\\server\\share\\unc.txt",
  };
}

void SetEntryRecord(Bytes& bundle, int index, std::int32_t offset, std::int32_t size) {
  std::size_t at = 20 + 16 * static_cast<std::size_t>(index);
  if (index < 0 || at + 16 > bundle.size()) throw VldError("No directory record " + std::to_string(index) + ".");
  StoreU32LE(bundle, at + 4, static_cast<std::uint32_t>(offset));
  StoreU32LE(bundle, at + 8, static_cast<std::uint32_t>(size));
}

std::int64_t WriteGeneratedBundle(const std::filesystem::path& path, const TGeneratedBundle& layout) {
  if (layout.entries < 0 || layout.folders < 1 || layout.minSize > layout.maxSize)
    throw VldError("The generated bundle's settings do not fit together.");
  std::uint64_t state = layout.seed;
  std::vector<std::size_t> sizes(static_cast<std::size_t>(layout.entries));
  std::int64_t total = 0;
  LabWriter lab;
  for (int i = 0; i < layout.entries; ++i) {
    double u = static_cast<double>(SplitMix(state) >> 11) / 9007199254740992.0;
    std::size_t size = layout.minSize + static_cast<std::size_t>((layout.maxSize - layout.minSize) * u * u * u);
    sizes[static_cast<std::size_t>(i)] = size;
    total += static_cast<std::int64_t>(size);
    char name[48];
    std::snprintf(name, sizeof name, "dir%03d\\file%05d.dat", i % layout.folders, i);
    lab.Add(name, {});
  }
  // The directory comes from the bundle writer with empty entries; only the
  // records' offsets and sizes change once the data is streamed behind it.
  Bytes head = lab.Build();
  if (static_cast<std::int64_t>(head.size()) + total > std::numeric_limits<std::int32_t>::max())
    throw VldError("A bundle cannot be larger than 2 GiB.");
  std::int64_t offset = static_cast<std::int64_t>(head.size());
  for (std::size_t i = 0; i < sizes.size(); ++i) {
    SetEntryRecord(head, static_cast<int>(i), static_cast<std::int32_t>(offset), static_cast<std::int32_t>(sizes[i]));
    offset += static_cast<std::int64_t>(sizes[i]);
  }

  // Entry contents are windows into one pseudo-random pool.
  Bytes pool(layout.maxSize + 4096);
  for (auto& b : pool) b = static_cast<std::uint8_t>(SplitMix(state));
  TAtomicFile out(path);
  out.Write(head);
  for (std::size_t i = 0; i < sizes.size(); ++i) out.Write(pool.data() + (i * 257) % 4096, sizes[i]);
  out.Commit();
  return total;
}

}  // namespace vld::samples
