// Extracting a generated bundle of many files, against `tar -xf` of the same
// files into the same file system, once on /dev/shm and once on the disk the
// benchmark program lies on.
//
// VLD_BENCH_EXTRACT_ENTRIES  number of entries (default 20000, about 1 GiB)
// VLD_BENCH_DISK_DIR         folder on the disk to measure (default: beside this program)

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/browser/Batch.h"
#include "core/browser/Extractor.h"
#include "core/bundle/LabReader.h"
#include "core/bundle/LabWriter.h"
#include "samples/ExtractSamples.h"

namespace fs = std::filesystem;

namespace {

constexpr int kDefaultEntries = 20000;
constexpr int kFolders = 200;

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

fs::path MakeScratch(const fs::path& base) {
  std::string pattern = (base / "vldbench-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) {
    std::perror(pattern.c_str());
    std::exit(1);
  }
  return pattern;
}

void RemoveTree(const fs::path& p) {
  std::error_code ec;
  fs::remove_all(p, ec);
}

// The bundle and a tar archive of exactly the files it extracts to; made once,
// removed at exit.
struct Workload {
  fs::path scratch;
  fs::path bundle;
  fs::path tar;
  std::int64_t bytes = 0;
  int entries = 0;

  Workload() {
    const char* env = std::getenv("VLD_BENCH_EXTRACT_ENTRIES");
    entries = env ? std::max(1, std::atoi(env)) : kDefaultEntries;
    scratch = MakeScratch("/dev/shm");
    bundle = scratch / "generated.lab";
    tar = scratch / "generated.tar";
    vld::samples::TGeneratedBundle layout;
    layout.entries = entries;
    layout.folders = std::min(kFolders, entries);
    bytes = vld::samples::WriteGeneratedBundle(bundle, layout);

    vld::TLabReader reader;
    reader.Open(bundle);
    fs::path tree = scratch / "tree";
    vld::ExtractAllEntries(reader, tree);
    std::string cmd = "tar -cf " + Quote(tar.string()) + " -C " + Quote(tree.string()) + " .";
    if (std::system(cmd.c_str()) != 0) {
      std::fprintf(stderr, "tar failed: %s\n", cmd.c_str());
      std::exit(1);
    }
    RemoveTree(tree);
  }
  ~Workload() { RemoveTree(scratch); }
};

std::unique_ptr<Workload> gWork;
std::unique_ptr<fs::path> gDiskScratch;

Workload& Work() {
  if (!gWork) gWork = std::make_unique<Workload>();
  return *gWork;
}

fs::path TargetBase(bool onDisk) {
  if (!onDisk) return Work().scratch;
  if (!gDiskScratch) {
    const char* env = std::getenv("VLD_BENCH_DISK_DIR");
    fs::path base = env ? fs::path(env) : fs::read_symlink("/proc/self/exe").parent_path();
    gDiskScratch = std::make_unique<fs::path>(MakeScratch(base));
  }
  return *gDiskScratch;
}

// Each run writes into a fresh folder; removing it and flushing the disk
// happen outside the timed part, so every run starts from the same state.
template <typename Fn>
void Measure(benchmark::State& state, bool onDisk, Fn&& extract) {
  Workload& work = Work();
  fs::path target = TargetBase(onDisk) / "out";
  for (auto _ : state) {
    state.PauseTiming();
    RemoveTree(target);
    fs::create_directories(target);
    ::sync();
    state.ResumeTiming();
    extract(work, target);
  }
  RemoveTree(target);
  state.SetBytesProcessed(state.iterations() * work.bytes);
  state.SetItemsProcessed(state.iterations() * work.entries);
  state.counters["files"] = work.entries;
  state.counters["MiB"] = static_cast<double>(work.bytes) / (1024.0 * 1024.0);
}

void BM_ExtractBundle(benchmark::State& state) {
  Measure(state, state.range(0) != 0, [](Workload& work, const fs::path& target) {
    vld::TLabReader reader;
    reader.Open(work.bundle);
    vld::TExtractResult res = vld::ExtractAllEntries(reader, target);
    benchmark::DoNotOptimize(res.bytes);
  });
}

// The same extraction through the batch engine with one worker per core.
void BM_ExtractBundleThreaded(benchmark::State& state) {
  Measure(state, state.range(0) != 0, [](Workload& work, const fs::path& target) {
    vld::TLabReader reader;
    reader.Open(work.bundle);
    std::vector<int> all(static_cast<std::size_t>(reader.Count()));
    for (int i = 0; i < reader.Count(); ++i) all[static_cast<std::size_t>(i)] = i;
    vld::TBatchOptions options;
    options.jobs = 0;
    vld::TBatchResult res = vld::RunBatch(reader, target, vld::EntryItems(reader, all), {}, options);
    benchmark::DoNotOptimize(res.bytes);
  });
}

// The yardstick: GNU tar unpacking the same files.
void BM_TarExtract(benchmark::State& state) {
  Measure(state, state.range(0) != 0, [&state](Workload& work, const fs::path& target) {
    std::string cmd = "tar -xf " + Quote(work.tar.string()) + " -C " + Quote(target.string());
    if (std::system(cmd.c_str()) != 0) state.SkipWithError("tar -xf failed");
  });
}

// 100,000 tiny entries under one name against 100,000 distinct names (the
// yardstick), extracted on /dev/shm into one folder: the numbering of repeated
// names must not grow with the square of their count.
constexpr int kRepeatedEntries = 100000;

struct RepeatedNames {
  fs::path scratch = MakeScratch("/dev/shm");
  fs::path same = scratch / "same.lab";
  fs::path distinct = scratch / "distinct.lab";
  RepeatedNames() {
    vld::LabWriter one, many;
    for (int i = 0; i < kRepeatedEntries; ++i) {
      const vld::Bytes data{static_cast<std::uint8_t>(i)};
      one.Add("sounds\\same name.wav", data);
      many.Add("sounds\\name " + std::to_string(i) + ".wav", data);
    }
    one.Write(same);
    many.Write(distinct);
  }
  ~RepeatedNames() { RemoveTree(scratch); }
};

std::unique_ptr<RepeatedNames> gRepeated;

void BM_ExtractRepeatedNames(benchmark::State& state) {
  if (!gRepeated) gRepeated = std::make_unique<RepeatedNames>();
  const fs::path bundle = state.range(0) ? gRepeated->same : gRepeated->distinct;
  const fs::path target = gRepeated->scratch / "out";
  for (auto _ : state) {
    state.PauseTiming();
    RemoveTree(target);
    state.ResumeTiming();
    vld::TLabReader reader;
    reader.Open(bundle);
    vld::TExtractResult res = vld::ExtractAllEntries(reader, target);
    benchmark::DoNotOptimize(res.files);
  }
  RemoveTree(target);
  state.SetItemsProcessed(state.iterations() * kRepeatedEntries);
}

// The names alone, without the files.
void BM_PlanRepeatedNames(benchmark::State& state) {
  std::vector<vld::TBatchItem> items;
  for (int i = 0; i < kRepeatedEntries; ++i)
    items.push_back(
        {i, state.range(0) ? std::string("sounds/same name.wav") : "sounds/name " + std::to_string(i) + ".wav"});
  for (auto _ : state) benchmark::DoNotOptimize(vld::PlanBatchNames(items, false));
  state.SetItemsProcessed(state.iterations() * kRepeatedEntries);
}

}  // namespace

// Argument 0: distinct names (the yardstick), 1: one name repeated.
BENCHMARK(BM_PlanRepeatedNames)->Arg(0)->Arg(1)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExtractRepeatedNames)->Arg(0)->Arg(1)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);

// Argument 0: /dev/shm, 1: the disk.
BENCHMARK(BM_ExtractBundle)->Arg(0)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExtractBundleThreaded)->Arg(0)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TarExtract)->Arg(0)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExtractBundle)->Arg(1)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExtractBundleThreaded)->Arg(1)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TarExtract)->Arg(1)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (gDiskScratch) RemoveTree(*gDiskScratch);
  gWork.reset();
  gRepeated.reset();
  return 0;
}
