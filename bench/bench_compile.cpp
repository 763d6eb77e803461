// Compiling generated scripts of two sizes (1,000 and 10,000 lines of
// functions with locals, constructors, if/else, loops and closures), against
// a plain copy and scan of the same source bytes (the yardstick, measured in
// the same run). Linear cost shows as an equal rate (bytes/s and lines/s) at
// both sizes.
#include <benchmark/benchmark.h>

#include <cstring>
#include <map>
#include <string>

#include "core/lua/LuaCompiler.h"

namespace {

// Ten lines per unit: one function, so that no function's code outgrows the format.
std::string Script(int lines) {
  std::string s;
  for (int u = 0; u < lines / 10; ++u) {
    const std::string n = std::to_string(u);
    s += "function unit" + n + "(a, b)\n";
    s += "  local t = {a, b, 3.25; n = " + n + ", name = \"u" + n + "\"}\n";
    s += "  if a > b and not t.done then\n";
    s += "    t.max = a\n";
    s += "  else\n";
    s += "    t.max = b * 2 + (a - 1) / 4\n";
    s += "  end\n";
    s += "  while t.n > 0 do t.n = t.n - 1 end\n";
    s += "  return t, function(x) return x .. %a end, print(t.name)\n";
    s += "end\n";
  }
  return s;
}

const std::string& ScriptOf(int lines) {
  static std::map<int, std::string> cache;
  auto it = cache.find(lines);
  if (it == cache.end()) it = cache.emplace(lines, Script(lines)).first;
  return it->second;
}

void BM_Compile(benchmark::State& state) {
  const std::string& source = ScriptOf(static_cast<int>(state.range(0)));
  std::size_t chunkSize = 0;
  for (auto _ : state) {
    const vld::TLuaCompiled compiled = vld::CompileLua(source);
    if (compiled.Failed) {
      state.SkipWithError(compiled.Error.Text().c_str());
      break;
    }
    chunkSize = compiled.Chunk.size();
    benchmark::DoNotOptimize(compiled.Chunk.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(source.size()));
  state.SetItemsProcessed(state.iterations() * state.range(0));
  state.counters["chunk_bytes"] = static_cast<double>(chunkSize);
}
BENCHMARK(BM_Compile)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

// Yardstick: copy the same source bytes and scan them once.
void BM_YardstickCopyAndScan(benchmark::State& state) {
  const std::string& source = ScriptOf(static_cast<int>(state.range(0)));
  std::string copy(source.size(), '\0');
  for (auto _ : state) {
    std::memcpy(copy.data(), source.data(), source.size());
    std::uint32_t sum = 0;
    for (char c : copy) sum = sum * 31 + static_cast<std::uint8_t>(c);
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(source.size()));
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_YardstickCopyAndScan)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
