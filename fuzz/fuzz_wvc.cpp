// WVC block containers and their ADPCM blocks.
#include "FuzzCommon.h"
#include "core/audio/WvcAudio.h"

VLD_FUZZ_TARGET({
  vld::Bytes wave = vld::ConvertWvcToWav(input);
  (void)wave;
})
