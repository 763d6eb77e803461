#include "core/audio/BinkData.h"

#include <algorithm>
#include <vector>

#include "core/bundle/LabReader.h"
#include "core/common/ByteReader.h"
#include "core/common/Errors.h"
#include "core/common/FileIO.h"

namespace vld {

namespace {

bool IsBinkMagic(const std::uint8_t* p) { return ByteReader::LoadU32LE(p) == kMagicBIKi; }

}  // namespace

std::optional<std::int64_t> FindBinkOffset(TFileStream& smush) {
  for (std::int64_t offset = kBinkProbeFirst; offset <= kBinkProbeLast; offset += kBinkProbeStep) {
    std::uint8_t magic[4];
    if (smush.ReadAtZeroFilled(offset, magic, sizeof magic) == sizeof magic && IsBinkMagic(magic)) return offset;
  }
  return std::nullopt;
}

std::optional<std::int64_t> FindBinkOffset(ByteSpan smush) {
  for (std::int64_t offset = kBinkProbeFirst; offset <= kBinkProbeLast; offset += kBinkProbeStep) {
    std::size_t at = static_cast<std::size_t>(offset);
    if (smush.size() >= 4 && at <= smush.size() - 4 && IsBinkMagic(smush.data() + at)) return offset;
  }
  return std::nullopt;
}

std::optional<std::int64_t> ExtractBinkData(TFileStream& smush, TByteSink& out) {
  std::optional<std::int64_t> offset = FindBinkOffset(smush);
  if (!offset) return std::nullopt;
  return CopyFileRange(smush, *offset, smush.Size() - *offset, out);
}

std::optional<std::int64_t> ExtractBinkData(TFileStream& smush, const std::filesystem::path& target) {
  std::optional<std::int64_t> offset = FindBinkOffset(smush);
  if (!offset) return std::nullopt;
  TAtomicFile out(target);
  std::int64_t n = CopyFileRange(smush, *offset, smush.Size() - *offset, out);
  out.Commit();
  return n;
}

std::int64_t SaveSingleBink(TFileStream& bink, std::int64_t singleSize, TByteSink& out) {
  return CopyFileRange(bink, 0, singleSize, out);
}

std::int64_t SaveSingleBink(TFileStream& bink, std::int64_t singleSize, const std::filesystem::path& target) {
  TAtomicFile out(target);
  std::int64_t n = SaveSingleBink(bink, singleSize, out);
  out.Commit();
  return n;
}

std::optional<Bytes> BinkDataFromBytes(ByteSpan file) {
  std::uint32_t magic = file.size() >= 4 ? ByteReader::LoadU32LE(file.data()) : 0;
  if (magic == kMagicBIKi) return Bytes(file.begin(), file.end());
  if (magic != kMagicSMUS) throw VldError("This is neither a Bink file nor a Smush-wrapped one.");
  std::optional<std::int64_t> offset = FindBinkOffset(file);
  if (!offset) return std::nullopt;
  return Bytes(file.begin() + *offset, file.end());
}

}  // namespace vld
