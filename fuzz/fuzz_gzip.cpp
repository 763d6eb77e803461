// gzip members as bundle entries store them. With libdeflate in the build the
// fast inflater must give exactly what zlib alone gives.
#include "FuzzCommon.h"
#include "core/images/GzipEntry.h"

VLD_FUZZ_TARGET({
  vld::SetInflater(vld::TInflater::Fast);
  vld::Bytes out = vld::InflateGzipEntry(input);
  if (vld::HaveLibdeflate()) {
    vld::SetInflater(vld::TInflater::Zlib);
    vld::Bytes slow = vld::InflateGzipEntry(input);
    vld::SetInflater(vld::TInflater::Fast);
    VLD_FUZZ_CHECK(out == slow);
  }
})
