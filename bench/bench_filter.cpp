// Filtering the entry list of a 100,000-entry bundle, against one pass over
// the same names that only looks at every byte (the yardstick, same run).
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include <stdlib.h>

#include "core/browser/EntryFilter.h"
#include "core/bundle/LabReader.h"
#include "core/bundle/LabWriter.h"

namespace {

struct Fixture {
  std::filesystem::path dir;
  vld::TLabReader reader;

  Fixture() {
    std::string pattern = "/dev/shm/vldbench-XXXXXX";
    if (!::mkdtemp(pattern.data())) pattern = std::filesystem::temp_directory_path() / "vldbench-filter";
    dir = pattern;
    std::filesystem::create_directories(dir);
    const char* kinds[] = {".til", ".tga", ".wvc", ".lua", ".cos", ".sur"};
    vld::LabWriter w;
    for (int i = 0; i < 100000; ++i)
      w.Add("Folder" + std::to_string(i % 200) + "\\sub" + std::to_string(i % 7) + "\\Entry_" + std::to_string(i) +
                kinds[i % 6],
            vld::Bytes(1, 1));
    w.Write(dir / "big.lab");
    reader.Open(dir / "big.lab");
  }
  ~Fixture() {
    reader.Close();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
};

Fixture& Shared() {
  static Fixture f;
  return f;
}

void Run(benchmark::State& state, vld::TEntryFilter filter) {
  Fixture& f = Shared();
  std::size_t kept = 0;
  for (auto _ : state) {
    kept = vld::FilterEntries(f.reader, filter).size();
    benchmark::DoNotOptimize(kept);
  }
  state.counters["kept"] = static_cast<double>(kept);
}

void BM_FilterSubstring(benchmark::State& state) { Run(state, {"entry_99", vld::EntryKind::All, ""}); }
void BM_FilterWildcards(benchmark::State& state) { Run(state, {"folder1*\\sub?\\*9.t?a", vld::EntryKind::All, ""}); }
void BM_FilterKind(benchmark::State& state) { Run(state, {"", vld::EntryKind::Images, ""}); }
void BM_FilterFolder(benchmark::State& state) { Run(state, {"", vld::EntryKind::All, "folder17\\sub3"}); }
void BM_FolderTree(benchmark::State& state) {
  Fixture& f = Shared();
  for (auto _ : state) benchmark::DoNotOptimize(vld::FolderTree(f.reader).size());
}

// Yardstick: touch every byte of every name once.
void BM_YardstickScanNames(benchmark::State& state) {
  Fixture& f = Shared();
  for (auto _ : state) {
    unsigned sum = 0;
    for (int i = 0; i < f.reader.Count(); ++i)
      for (char c : f.reader.GetName(i)) sum += static_cast<unsigned char>(c);
    benchmark::DoNotOptimize(sum);
  }
}

}  // namespace

BENCHMARK(BM_YardstickScanNames)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FilterSubstring)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FilterWildcards)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FilterKind)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FilterFolder)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FolderTree)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
