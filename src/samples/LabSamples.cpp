#include "samples/LabSamples.h"

#include <string>

#include "core/bundle/LabWriter.h"

namespace vld::samples {

Bytes TRawLab::Build() const {
  Bytes out;
  PutU32LE(out, magic);
  PutU32LE(out, word2);
  PutU32LE(out, static_cast<std::uint32_t>(count));
  PutU32LE(out, word4);
  PutU32LE(out, namesPosition);
  for (const auto& r : records) {
    PutU32LE(out, static_cast<std::uint32_t>(r.nameOffset));
    PutU32LE(out, static_cast<std::uint32_t>(r.offset));
    PutU32LE(out, static_cast<std::uint32_t>(r.size));
    PutU32LE(out, r.reserved);
  }
  out.insert(out.end(), tail.begin(), tail.end());
  return out;
}

Bytes MaskedName(std::string_view name) {
  Bytes out;
  for (char c : name) out.push_back(static_cast<std::uint8_t>(c) ^ kNameMask);
  out.push_back(0);
  return out;
}

Bytes GeneratedBundle(int n, int entrySize, int folders) {
  LabWriter w;
  for (int i = 0; i < n; ++i) {
    Bytes data(static_cast<std::size_t>(entrySize));
    for (std::size_t k = 0; k < data.size(); ++k) data[k] = static_cast<std::uint8_t>(i + k);
    w.Add("dir" + std::to_string(i % folders) + "\\file" + std::to_string(i) + ".dat", std::move(data));
  }
  return w.Build();
}

}  // namespace vld::samples
