// Saving a changed bundle against copying it, and edits on a large edit list.
//
// BM_Save1GiB* write a 1 GiB bundle with one entry replaced; BM_Yardstick_cp
// copies the same file with cp on the same disk in the same run. The folder
// is VLD_BENCH_DIR when set (the disk to measure), else the build folder.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

#include "core/bundle/BundleEdit.h"
#include "core/bundle/LabReader.h"
#include "core/bundle/LabWriter.h"
#include "core/common/FileIO.h"
#include "samples/LabSamples.h"

namespace {

namespace fs = std::filesystem;
using namespace vld;

fs::path BenchFolder() {
  const char* dir = std::getenv("VLD_BENCH_DIR");
  return dir ? fs::path(dir) : fs::current_path();
}

// 1 GiB in 1,024 entries of 1 MiB; made once.
const fs::path& BigBundle() {
  static const fs::path path = [] {
    fs::path p = BenchFolder() / "bench-edit-1g.lab";
    if (!fs::exists(p) || fs::file_size(p) < (1ull << 30)) {
      LabWriter writer;
      for (int i = 0; i < 1024; ++i)
        writer.Add("data\\" + std::to_string(i) + ".bin", Bytes(1 << 20, static_cast<std::uint8_t>(i)));
      writer.Write(p);
    }
    return p;
  }();
  return path;
}

void Save(benchmark::State& state, TCopyMethod method, bool durable) {
  TLabReader reader;
  reader.Open(BigBundle());
  const fs::path out = BenchFolder() / "bench-edit-out.lab";
  SetCopyMethod(method);
  for (auto _ : state) {
    TBundleEditList list(reader);
    list.Apply(TBundleEdit::Replace(512, TEntryContent::FromBytes(Bytes(1 << 20, 0x5A))));
    TSaveOptions options;
    options.durable = durable;
    const auto start = std::chrono::steady_clock::now();
    SaveBundle(list, out, options);
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    fs::remove(out);
  }
  SetCopyMethod(TCopyMethod::Auto);
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(fs::file_size(BigBundle())));
}

void BM_Save1GiB_CopyFileRange(benchmark::State& state) { Save(state, TCopyMethod::Auto, false); }
void BM_Save1GiB_Buffered(benchmark::State& state) { Save(state, TCopyMethod::Buffered, false); }
void BM_Save1GiB_CopyFileRange_Durable(benchmark::State& state) { Save(state, TCopyMethod::Auto, true); }

void Copy(benchmark::State& state, bool durable) {
  const fs::path out = BenchFolder() / "bench-edit-cp.lab";
  const std::string command = "cp '" + BigBundle().string() + "' '" + out.string() + "'" +
                              (durable ? " && sync '" + out.string() + "'" : std::string());
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0) state.SkipWithError("cp failed");
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    fs::remove(out);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(fs::file_size(BigBundle())));
}

void BM_Yardstick_cp(benchmark::State& state) { Copy(state, false); }
void BM_Yardstick_cp_sync(benchmark::State& state) { Copy(state, true); }

// Taking turns, so that both see the same disk and page cache.
BENCHMARK(BM_Yardstick_cp)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Save1GiB_CopyFileRange)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Save1GiB_Buffered)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Yardstick_cp_sync)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Save1GiB_CopyFileRange_Durable)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

// ---- the edit list of 100,000 entries -------------------------------------------

const TLabReader& Reader100k() {
  static TLabReader reader;
  static const bool opened = [] {
    const fs::path p =
        (fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path()) / "bench-edit-100k.lab";
    WriteFileAtomic(p, samples::GeneratedBundle(100000, 16, 200));
    reader.Open(p);
    return true;
  }();
  (void)opened;
  return reader;
}

// One rename applied and reverted, as the viewer's undo stack does it.
void BM_RenameOne100k(benchmark::State& state) {
  TBundleEditList list(Reader100k());
  for (auto _ : state) {
    TEditUndo undo = list.Apply(TBundleEdit::Rename(50000, "renamed\\entry.dat"));
    list.Revert(undo);
  }
}
BENCHMARK(BM_RenameOne100k)->Unit(benchmark::kMillisecond);

void BM_RemoveOne100k(benchmark::State& state) {
  TBundleEditList list(Reader100k());
  for (auto _ : state) {
    TEditUndo undo = list.Apply(TBundleEdit::Remove(50000));
    list.Revert(undo);
  }
}
BENCHMARK(BM_RemoveOne100k)->Unit(benchmark::kMillisecond);

// Yardstick: making the list itself (what opening a bundle for editing costs).
void BM_Yardstick_MakeList100k(benchmark::State& state) {
  for (auto _ : state) {
    TBundleEditList list(Reader100k());
    benchmark::DoNotOptimize(list.Count());
  }
}
BENCHMARK(BM_Yardstick_MakeList100k)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
