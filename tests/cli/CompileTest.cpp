#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "CliSupport.h"
#include "TestFiles.h"
#include "core/lua/LuaCompiler.h"

using namespace vld;

namespace {

std::string ReadText(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

const std::string kScript =
    "-- a door that opens once\n"
    "door = {state = \"shut\", tries = 0.25}\n"
    "function door:open(who)\n"
    "  if self.state == \"shut\" then self.state = \"open\" return 1 end\n"
    "end\n";

Bytes Expected(TLuaCompileOptions options) {
  options.SourceName = "door.lua";
  return CompileLua(kScript, options).Chunk;
}

}  // namespace

TEST(CompileCommand, WritesTheChunkWithTheOptionsAsked) {
  TTempDir dir;
  const auto source = dir.Write("door.lua", AsSpan(kScript));
  const std::string in = Quote(source.string());
  const auto out = dir.File("door.chunk");

  EXPECT_EQ(RunTool("compile " + in + " -o " + Quote(out.string())).exitCode, 0);
  EXPECT_EQ(ReadText(out), AsString(Expected({})));

  TLuaCompileOptions small;
  small.FloatSize = 4;
  small.DebugInfo = false;
  small.MsbFirst = true;
  EXPECT_EQ(RunTool("compile " + in + " -o " + Quote(out.string()) + " --float-size 4 --strip --msb-first").exitCode,
            0);
  EXPECT_EQ(ReadText(out), AsString(Expected(small)));

  // '-' is standard output.
  const TToolRun piped = RunTool("compile " + in + " -o -");
  EXPECT_EQ(piped.exitCode, 0);
  EXPECT_EQ(piped.out, AsString(Expected({})));
}

TEST(CompileCommand, AnErrorWritesNothingAndKeepsTheOldFile) {
  TTempDir dir;
  const auto source = dir.Write("bad.lua", AsSpan(std::string("x = 1\nif x then\n  y = = 2\nend\n")));
  const auto err = dir.File("err.txt");
  const auto out = dir.File("bad.chunk");

  EXPECT_EQ(RunTool("compile " + Quote(source.string()) + " -o " + Quote(out.string()), err.string()).exitCode, 1);
  EXPECT_EQ(ReadText(err), "bad.lua:3: unexpected symbol near '='\n");
  EXPECT_FALSE(std::filesystem::exists(out));

  dir.Write("bad.chunk", AsSpan(std::string("old")));
  EXPECT_EQ(RunTool("compile " + Quote(source.string()) + " -o " + Quote(out.string())).exitCode, 1);
  EXPECT_EQ(ReadText(out), "old");
  // Nothing but the old file is left in the folder (no temporary file).
  int files = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.Path())) ++files;
  EXPECT_EQ(files, 3);
}

TEST(CompileCommand, RefusesWrongUseAndMissingFiles) {
  TTempDir dir;
  const auto source = dir.Write("door.lua", AsSpan(kScript));
  const std::string in = Quote(source.string());
  const auto err = dir.File("err.txt");

  EXPECT_EQ(RunTool("compile " + in + " -o x --float-size 5").exitCode, 2);
  EXPECT_EQ(RunTool("compile " + in).exitCode, 2);  // no output named
  EXPECT_EQ(RunTool("compile").exitCode, 2);

  EXPECT_EQ(RunTool("compile " + Quote(dir.File("none.lua").string()) + " -o x", err.string()).exitCode, 1);
  EXPECT_NE(ReadText(err).find("none.lua"), std::string::npos);

  // The source is never the output, under any name.
  EXPECT_EQ(RunTool("compile " + in + " -o " + Quote((dir.Path() / "." / "door.lua").string()), err.string()).exitCode,
            1);
  EXPECT_NE(ReadText(err).find("would replace the source file"), std::string::npos);
  EXPECT_EQ(ReadText(source), kScript);

  EXPECT_NE(RunTool("compile --help").out.find("--float-size"), std::string::npos);
}
