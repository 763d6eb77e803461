// Decompiling generated scripts of two sizes (statements, if/else, loops and
// nested closures), against a plain copy and scan of the same chunk bytes
// (the yardstick, measured in the same run). Linear cost shows as an equal
// rate (bytes/s and units/s) at both sizes. BM_DecompileLines decompiles
// scripts of 1,000 and 10,000 source lines compiled here.
#include <benchmark/benchmark.h>

#include <cstring>
#include <map>

#include "core/lua/LuaCompiler.h"
#include "core/lua/LuaDump.h"
#include "samples/LuaChunk.h"

namespace {

using vld::Bytes;
using vld::samples::TAsmLabel;
using vld::samples::TChunkFunction;
using vld::samples::TLuaAsm;

constexpr std::uint8_t kAdd = 97, kGt = 95, kJmp = 109, kIfFJmp = 111, kIfTUpJmp = 113;

// A function of `statements` assignments and calls, holding a closure of the
// next level down while depth remains.
TChunkFunction Nested(int depth, int statements) {
  TChunkFunction f;
  f.source = "bench.lua";
  f.line = depth;
  TLuaAsm a(4, 1);
  int g = f.String("g"), h = f.String("h");
  for (int i = 0; i < statements; ++i) {
    a.GetGlobal(g).PushLocal(0).Op(kAdd).SetGlobal(g);
    a.GetGlobal(h).GetGlobal(g).Call(1, 0);
  }
  if (depth > 0) a.Closure(f.Function(Nested(depth - 1, statements)), 0).SetGlobal(h);
  a.Return(1).End();
  f.code = a.Code();
  return f;
}

// `units` units of: an assignment, an if/else with calls, a short while loop,
// and a stored function three closures deep.
Bytes Script(int units) {
  TChunkFunction m;
  m.source = "bench.lua";
  TLuaAsm a(6, 0);
  int g = m.String("g"), h = m.String("h"), handler = m.String("handler");
  for (int u = 0; u < units; ++u) {
    a.GetGlobal(g).PushNumber(1).Op(kAdd).SetGlobal(g);
    TAsmLabel other = a.Label(), done = a.Label();
    a.GetGlobal(g).PushNumber(3).Op(kGt).Jump(kIfFJmp, other);
    a.GetGlobal(h).GetGlobal(g).Call(1, 0).Jump(kJmp, done);
    a.Bind(other);
    a.GetGlobal(h).PushNumber(1).Call(1, 0);
    a.Bind(done);
    TAsmLabel test = a.Label();
    a.Jump(kJmp, test);
    TAsmLabel body = a.Here();
    a.GetGlobal(g).PushNumber(2).Op(kAdd).SetGlobal(g);
    a.Bind(test);
    a.GetGlobal(g).PushNumber(0).Op(kGt).Jump(kIfTUpJmp, body);
    a.PushConst(m.Function(Nested(3, 4))).SetGlobal(handler);
  }
  a.Return(0).End();
  m.code = a.Code();
  return BuildChunk(m);
}

const Bytes& ScriptOf(int units) {
  static std::map<int, Bytes> cache;
  auto it = cache.find(units);
  if (it == cache.end()) it = cache.emplace(units, Script(units)).first;
  return it->second;
}

// Decompiles the chunk in every iteration; range(0) counts its units or lines.
void DecompileChunk(benchmark::State& state, const Bytes& chunk, const char* name) {
  std::size_t textSize = 0;
  for (auto _ : state) {
    std::string text = vld::DumpLuaChunk(chunk, name);
    textSize = text.size();
    benchmark::DoNotOptimize(text.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(chunk.size()));
  state.SetItemsProcessed(state.iterations() * state.range(0));
  state.counters["chunk_bytes"] = static_cast<double>(chunk.size());
  state.counters["text_bytes"] = static_cast<double>(textSize);
}

void BM_Decompile(benchmark::State& state) {
  const Bytes& chunk = ScriptOf(static_cast<int>(state.range(0)));
  DecompileChunk(state, chunk, "bench.lua");
  // Functions shown as their listing (code no source compiles to): none expected.
  std::string text = vld::DumpLuaChunk(chunk, "bench.lua");
  std::size_t listed = 0;
  for (std::size_t at = text.find("could not be decompiled"); at != std::string::npos;
       at = text.find("could not be decompiled", at + 1))
    ++listed;
  state.counters["listed"] = static_cast<double>(listed);
}
BENCHMARK(BM_Decompile)->Arg(400)->Arg(1600)->Unit(benchmark::kMillisecond);

// As the viewer runs it: listing and trace lines formed and sent to a log that discards them.
void BM_DecompileWithDiscardedLog(benchmark::State& state) {
  const Bytes& chunk = ScriptOf(static_cast<int>(state.range(0)));
  std::size_t lines = 0;
  vld::LogFn discard = [&lines](const std::string&) { ++lines; };
  for (auto _ : state) {
    std::string text = vld::DumpLuaChunk(chunk, "bench.lua", discard);
    benchmark::DoNotOptimize(text.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(chunk.size()));
  state.SetItemsProcessed(state.iterations() * state.range(0));
  state.counters["log_lines"] = static_cast<double>(lines / std::max<std::int64_t>(1, state.iterations()));
}
BENCHMARK(BM_DecompileWithDiscardedLog)->Arg(400)->Arg(1600)->Unit(benchmark::kMillisecond);

// Ten source lines per unit: a function with locals, a constructor, if/else,
// a loop, and a closure with an upvalue.
const Bytes& CompiledLines(int lines) {
  static std::map<int, Bytes> cache;
  auto it = cache.find(lines);
  if (it != cache.end()) return it->second;
  std::string s;
  for (int u = 0; u < lines / 10; ++u) {
    const std::string n = std::to_string(u);
    s += "function unit" + n + "(a, b)\n";
    s += "  local t, k = {a, b, 3.25; n = " + n + ", name = \"u" + n + "\"}, a - (b - 1)\n";
    s += "  if a > b and not t.done then\n";
    s += "    t.max, t[k] = a, (a or 0) + k\n";
    s += "  else\n";
    s += "    t.max = b * 2 + (a - 1) / 4 ^ -k\n";
    s += "  end\n";
    s += "  repeat t.n = t.n - 1 until t.n <= 0\n";
    s += "  return t, function(x) return x .. %a end, print(t.name)\n";
    s += "end\n";
  }
  return cache.emplace(lines, vld::CompileLua(s).Chunk).first->second;
}

void BM_DecompileLines(benchmark::State& state) {
  DecompileChunk(state, CompiledLines(static_cast<int>(state.range(0))), "lines.lua");
}
BENCHMARK(BM_DecompileLines)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

void CopyAndScan(benchmark::State& state, const Bytes& chunk);

void BM_YardstickCopyAndScanLines(benchmark::State& state) {
  CopyAndScan(state, CompiledLines(static_cast<int>(state.range(0))));
}
BENCHMARK(BM_YardstickCopyAndScanLines)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

// Yardstick: copy the same chunk bytes and scan them once.
void CopyAndScan(benchmark::State& state, const Bytes& chunk) {
  Bytes copy(chunk.size());
  for (auto _ : state) {
    std::memcpy(copy.data(), chunk.data(), chunk.size());
    std::uint32_t sum = 0;
    for (std::uint8_t b : copy) sum = sum * 31 + b;
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(chunk.size()));
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_YardstickCopyAndScan(benchmark::State& state) {
  CopyAndScan(state, ScriptOf(static_cast<int>(state.range(0))));
}
BENCHMARK(BM_YardstickCopyAndScan)->Arg(400)->Arg(1600)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
