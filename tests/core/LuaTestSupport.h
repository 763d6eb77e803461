#pragma once

#include <initializer_list>
#include <string>
#include <vector>

#include "core/lua/LuaDump.h"
#include "samples/LuaChunk.h"

namespace vld::test {

// A function with the given code bytes (header bytes included) and string constants.
inline samples::TChunkFunction Fn(Bytes code, std::initializer_list<const char*> strings = {}) {
  samples::TChunkFunction f;
  f.source = "t.lua";
  f.code = std::move(code);
  for (const char* s : strings) f.String(s);
  return f;
}

// Code bytes: stack 1, no parameters, then the instructions.
inline Bytes Code(std::initializer_list<std::uint8_t> instructions, std::uint8_t params = 0) {
  Bytes code = {1, params};
  code.insert(code.end(), instructions.begin(), instructions.end());
  return code;
}

inline std::vector<std::string> SplitCrLf(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t from = 0;
  while (from < text.size()) {
    std::size_t at = text.find("\r\n", from);
    if (at == std::string::npos) at = text.size();
    lines.push_back(text.substr(from, at - from));
    from = at + 2;
  }
  return lines;
}

// The source text's lines as Dump writes them.
inline std::vector<std::string> SourceLines(const samples::TChunkFunction& main) {
  return SplitCrLf(DumpLuaChunk(samples::BuildChunk(main), "t.lua"));
}

// The lines after the header comment, without a final bare return.
inline std::vector<std::string> BodyLines(const samples::TChunkFunction& main) {
  std::vector<std::string> lines = SourceLines(main);
  if (!lines.empty() && lines.back() == "return ") lines.pop_back();
  if (!lines.empty()) lines.erase(lines.begin());
  return lines;
}

// The message that ends a dump, or "decompiled".
inline std::string DecompileError(const samples::TChunkFunction& main) {
  try {
    DumpLuaChunk(samples::BuildChunk(main), "t.lua");
  } catch (const VldError& e) {
    return e.what();
  }
  return "decompiled";
}

// Every line sent to the diagnostic log while dumping.
inline std::vector<std::string> LogLines(const Bytes& chunk, bool listingOnly = true) {
  std::vector<std::string> lines;
  TLuaFile file(chunk, "t.lua");
  LogFn log = [&lines](const std::string& line) { lines.push_back(line); };
  if (listingOnly) {
    file.DumpListing(log);
  } else {
    TMemoryStream out;
    file.Dump(out, log);
  }
  return lines;
}

}  // namespace vld::test
