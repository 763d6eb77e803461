// Opening a bundle of 100,000 entries, against one plain read of the same
// header, directory and names bytes (the yardstick, measured in the same run).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include <stdlib.h>

#include "core/bundle/LabReader.h"
#include "core/bundle/LabWriter.h"
#include "core/common/FileIO.h"

namespace {

struct Fixture {
  std::filesystem::path dir;
  std::filesystem::path bundle;
  std::size_t directoryBytes = 0;  // header + records + names

  Fixture() {
    std::string pattern = "/dev/shm/vldbench-XXXXXX";
    if (!::mkdtemp(pattern.data())) pattern = std::filesystem::temp_directory_path() / "vldbench-open";
    dir = pattern;
    std::filesystem::create_directories(dir);
    bundle = dir / "big.lab";
    vld::LabWriter w;
    for (int i = 0; i < 100000; ++i)
      w.Add("folder" + std::to_string(i % 200) + "\\entry_" + std::to_string(i) + ".til", vld::Bytes(8, 1));
    w.Write(bundle);
    directoryBytes = 20 + 16 * 100000;
    for (const auto& e : w.Entries()) directoryBytes += e.name.size() + 1;
  }
  ~Fixture() {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
};

Fixture& Shared() {
  static Fixture f;
  return f;
}

void BM_OpenBundle100k(benchmark::State& state) {
  Fixture& f = Shared();
  for (auto _ : state) {
    vld::TLabReader r;
    r.Open(f.bundle);
    benchmark::DoNotOptimize(r.Count());
  }
  state.SetItemsProcessed(state.iterations() * 100000);
}
BENCHMARK(BM_OpenBundle100k)->Unit(benchmark::kMillisecond);

// Yardstick: one read of the same directory and names bytes into memory.
void BM_YardstickReadDirectoryBytes(benchmark::State& state) {
  Fixture& f = Shared();
  vld::Bytes buf(f.directoryBytes);
  for (auto _ : state) {
    std::FILE* file = std::fopen(f.bundle.c_str(), "rb");
    std::size_t got = std::fread(buf.data(), 1, buf.size(), file);
    std::fclose(file);
    benchmark::DoNotOptimize(got);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(buf.size()));
}
BENCHMARK(BM_YardstickReadDirectoryBytes)->Unit(benchmark::kMillisecond);

// Both in turn in every iteration, so that a slower or faster moment of the
// machine weighs on both alike: `ratio` is the open's time over the read's.
void BM_OpenOverReadInTurn(benchmark::State& state) {
  Fixture& f = Shared();
  vld::Bytes buf(f.directoryBytes);
  using Clock = std::chrono::steady_clock;
  Clock::duration open{}, read{};
  for (auto _ : state) {
    const auto t0 = Clock::now();
    {
      vld::TLabReader r;
      r.Open(f.bundle);
      benchmark::DoNotOptimize(r.Count());
    }
    const auto t1 = Clock::now();
    std::FILE* file = std::fopen(f.bundle.c_str(), "rb");
    std::size_t got = std::fread(buf.data(), 1, buf.size(), file);
    std::fclose(file);
    benchmark::DoNotOptimize(got);
    const auto t2 = Clock::now();
    open += t1 - t0;
    read += t2 - t1;
  }
  state.counters["ratio"] = std::chrono::duration<double>(open).count() / std::chrono::duration<double>(read).count();
}
BENCHMARK(BM_OpenOverReadInTurn)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
