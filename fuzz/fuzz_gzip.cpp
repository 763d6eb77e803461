// gzip members as bundle entries store them.
#include "FuzzCommon.h"
#include "core/images/GzipEntry.h"

VLD_FUZZ_TARGET({
  vld::Bytes out = vld::InflateGzipEntry(input);
  (void)out;
})
