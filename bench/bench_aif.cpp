// Converting a 10-minute stereo AIF file (16-bit, 44100 Hz, 106 MB) into a
// WAVE file, file to file on /dev/shm, the way `vldtool convert` does it, and
// whole in memory. Times are processor time.
// Yardsticks measured in the same run: `sox` doing the same conversion (when
// it is installed), and a plain read and write of the same bytes.
#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "core/audio/AifAudio.h"
#include "core/browser/Formats.h"
#include "core/common/FileIO.h"
#include "samples/AifBuilder.h"

namespace fs = std::filesystem;

namespace {

struct Workload {
  fs::path scratch;
  fs::path aif;
  std::int64_t bytes = 0;
  Workload() {
    std::string pattern = "/dev/shm/vldbench-aif-XXXXXX";
    if (!::mkdtemp(pattern.data())) std::exit(1);
    scratch = pattern;
    aif = scratch / "long.aif";
    vld::samples::TPcm16 pcm;
    pcm.channels = 2;
    pcm.sampleRate = 44100;
    pcm.samples.resize(std::size_t{2} * 44100 * 600);
    std::uint32_t noise = 1;
    for (auto& s : pcm.samples) {
      noise = noise * 1664525u + 1013904223u;
      s = static_cast<std::int16_t>(noise >> 16);
    }
    const vld::Bytes file = vld::samples::BuildAif(pcm);
    vld::WriteFileAtomic(aif, file);
    bytes = static_cast<std::int64_t>(file.size());
  }
  ~Workload() {
    std::error_code ec;
    fs::remove_all(scratch, ec);
  }
};

std::unique_ptr<Workload> gWork;
Workload& Work() {
  if (!gWork) gWork = std::make_unique<Workload>();
  return *gWork;
}

// Processor time of this process and of its finished children, so that a
// program run through system() is measured like the code in this one.
double CpuSeconds() {
  double total = 0;
  for (int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
    rusage u{};
    ::getrusage(who, &u);
    total += static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
             static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
  }
  return total;
}

template <typename Fn>
void Measure(benchmark::State& state, Fn&& run) {
  Workload& work = Work();
  const fs::path out = work.scratch / "out.wav";
  for (auto _ : state) {
    const double before = CpuSeconds();
    run(work, out);
    state.SetIterationTime(CpuSeconds() - before);
  }
  state.SetBytesProcessed(state.iterations() * work.bytes);
}

// As `vldtool convert` does it: the file mapped, converted piece by piece
// into the temporary file.
void BM_AifToWav(benchmark::State& state) {
  Measure(state, [](Workload& work, const fs::path& out) {
    const vld::TFileView in(work.aif);
    vld::TAtomicFile file(out);
    vld::ConvertEntryTo("long.aif", in.Data(), vld::ImageFormat::Bmp, file);
    file.Commit();
  });
}

// The file read whole and converted whole in memory (as the viewer's
// "Save as Wave..." does, and `vldtool convert` did).
void BM_AifToWavInMemory(benchmark::State& state) {
  Measure(state, [](Workload& work, const fs::path& out) {
    const vld::Bytes in = vld::ReadWholeFile(work.aif);
    vld::WriteFileAtomic(out, vld::ConvertEntryBytes("long.aif", in).data);
  });
}

void BM_SoxAifToWav(benchmark::State& state) {
  if (std::system("command -v sox >/dev/null 2>&1") != 0) {
    state.SkipWithError("sox is not installed");
    return;
  }
  Measure(state, [&state](Workload& work, const fs::path& out) {
    const std::string cmd = "sox '" + work.aif.string() + "' '" + out.string() + "'";
    if (std::system(cmd.c_str()) != 0) state.SkipWithError("sox failed");
  });
}

// The bytes read and written again, untouched.
void BM_ReadWriteSameBytes(benchmark::State& state) {
  Measure(state, [](Workload& work, const fs::path& out) { vld::WriteFileAtomic(out, vld::ReadWholeFile(work.aif)); });
}

}  // namespace

// Processor time (this process and its children), not wall time.
BENCHMARK(BM_AifToWav)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AifToWavInMemory)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SoxAifToWav)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadWriteSameBytes)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  gWork.reset();
  return 0;
}
