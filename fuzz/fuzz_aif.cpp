// AIF sounds to WAVE.
#include "FuzzCommon.h"
#include "core/audio/AifAudio.h"

VLD_FUZZ_TARGET({
  vld::Bytes wave = vld::ConvertAifToWav(input);
  VLD_FUZZ_CHECK(wave.size() >= 44 && wave.size() <= input.size() + 44);
})
