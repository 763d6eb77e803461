#include <filesystem>
#include <iostream>
#include <string>

#include "cli/CliBatch.h"
#include "cli/CliCommon.h"
#include "core/common/Errors.h"
#include "core/common/FileIO.h"
#include "core/lua/LuaCompiler.h"

namespace vld::cli {

void RegisterCompileCommand(CLI::App& app) {
  auto* compile = app.add_subcommand("compile", "Compile Lua 3.1 source into the game's script format");
  static std::string source, out;
  static int floatSize = 8;
  static bool strip = false, msbFirst = false;
  compile->add_option("SOURCE", source, "The Lua source file")->required();
  compile->add_option("-o,--output", out, "The chunk file to write ('-': standard output)")->required();
  compile->add_option("--float-size", floatSize, "Bytes per number in the chunk")
      ->check(CLI::IsMember({4, 8}))
      ->default_val(8);
  compile->add_flag("--strip", strip, "Start without line and local information (a $debug line still turns it on)");
  compile->add_flag("--msb-first", msbFirst, "Write numbers most significant byte first");
  compile->footer(
      "The chunk stores the source's file name. On an error the message reads FILE:LINE: message near 'TOKEN', "
      "the exit code is 1 and nothing is written.");
  compile->callback([] {
    const std::filesystem::path input = Utf8Path(source);
    if (out != "-") {
      std::error_code ec;
      if (std::filesystem::equivalent(SystemPath(input), SystemPath(Utf8Path(out)), ec))
        throw VldError("Writing " + out + " would replace the source file; name another output with -o.");
    }
    const Bytes text = ReadWholeFile(input);
    TLuaCompileOptions options;
    options.SourceName = PathText(input.filename());
    options.FloatSize = floatSize;
    options.MsbFirst = msbFirst;
    options.DebugInfo = !strip;
    const TLuaCompiled compiled = CompileLua(AsString(text), options);
    if (compiled.Failed) {
      std::cerr << compiled.Error.Text() << "\n";
      throw TExitCode(1);
    }
    WriteOutput(out, compiled.Chunk);
  });
}

}  // namespace vld::cli
