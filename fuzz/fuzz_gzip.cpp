// gzip members as bundle entries store them. With libdeflate in the build the
// fast inflater must give exactly what zlib alone gives, with one known
// exception: libdeflate reads the reserved codes (lengths 286 and 287,
// distances 30 and 31) as their neighbours 285 and 29 where zlib stops at
// them. Only then may the two differ, and only when the fast result is whole
// and matches the trailer's CRC-32.
#include <zlib.h>

#include "FuzzCommon.h"
#include "core/common/ByteReader.h"
#include "core/images/GzipEntry.h"

VLD_FUZZ_TARGET({
  vld::SetInflater(vld::TInflater::Fast);
  vld::TInflateReport fast;
  vld::Bytes out = vld::InflateGzipEntry(input, &fast);
  if (vld::HaveLibdeflate()) {
    vld::SetInflater(vld::TInflater::Zlib);
    vld::TInflateReport zlibReport;
    vld::Bytes slow = vld::InflateGzipEntry(input, &zlibReport);
    vld::SetInflater(vld::TInflater::Fast);
    if (out != slow) {
      const std::uint32_t trailerCrc = vld::ByteReader::LoadU32LE(input.data() + input.size() - 8);
      const auto crc = static_cast<std::uint32_t>(crc32(0, out.data(), static_cast<uInt>(out.size())));
      VLD_FUZZ_CHECK(zlibReport.damaged && fast.streamEnded && !fast.damaged && crc == trailerCrc);
    }
  }
})
