// WVC decoding throughput in MB/s of PCM produced, against a plain memcpy of the same
// number of output bytes (the yardstick, measured in the same run).
//
// Argument 0: 30 s of the voice-like signal, mono 22050 Hz (the game's kind of entry).
// Argument 1: 10 s of a chord, stereo 44100 Hz (more codes of the wider widths).
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "core/audio/WvcAudio.h"
#include "samples/AifBuilder.h"
#include "samples/WvcEncoder.h"

namespace {

struct TInput {
  vld::Bytes entry;
  std::vector<vld::samples::TWvcBlock> blocks;
  std::size_t outputBytes = 0;
};

std::vector<TInput> MakeInputs() {
  vld::samples::TPcm16 sounds[2] = {vld::samples::VoiceSound(22050, 30.0),
                                    vld::samples::ChordSound(44100, 2, 10.0, {220.0, 277.18, 329.63, 440.0})};
  std::vector<TInput> made(2);
  for (int i = 0; i < 2; ++i) {
    made[i].blocks = vld::samples::EncodeWvcBlocks(sounds[i], {.framesPerBlock = 8192});
    made[i].entry = vld::samples::BuildWvcEntry(made[i].blocks);
    made[i].outputBytes = vld::ConvertWvcToWav(made[i].entry).size();
  }
  return made;
}

const TInput& Input(int which) {
  static const std::vector<TInput> inputs = MakeInputs();
  return inputs[which];
}

// The whole entry: block table, names, and every block into one WAVE file.
void BM_WvcConvertEntry(benchmark::State& state) {
  const TInput& in = Input(int(state.range(0)));
  for (auto _ : state) {
    vld::Bytes wave = vld::ConvertWvcToWav(in.entry);
    benchmark::DoNotOptimize(wave.data());
  }
  state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(in.outputBytes));
}

// The ADPCM decoder alone, into one buffer allocated up front.
void BM_WvcDecodeBlocks(benchmark::State& state) {
  const TInput& in = Input(int(state.range(0)));
  vld::Bytes out(in.outputBytes);
  for (auto _ : state) {
    std::size_t at = 0;
    for (const auto& block : in.blocks) {
      if (block.codec != vld::kWvcCodecAdpcm) continue;
      vld::DecodeWvcBlock(block.stored, std::span<std::uint8_t>(out.data() + at, block.outputSize));
      at += block.outputSize;
    }
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(in.outputBytes));
}

void BM_YardstickMemcpy(benchmark::State& state) {
  const TInput& in = Input(int(state.range(0)));
  vld::Bytes from(in.outputBytes, 0x5A), to(in.outputBytes);
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), from.size());
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(in.outputBytes));
}

}  // namespace

BENCHMARK(BM_WvcConvertEntry)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WvcDecodeBlocks)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_YardstickMemcpy)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
