#pragma once

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <sys/wait.h>

#include "core/common/Bytes.h"
#include "core/common/FileIO.h"

// Runs vldtool with the given arguments (a shell command line) and captures
// stdout; stderr goes to `errFile` when given.
struct TToolRun {
  int exitCode = -1;
  std::string out;
};

inline TToolRun RunTool(const std::string& args, const std::string& errFile = "/dev/null") {
  std::string cmd = std::string(VLDTOOL_PATH) + " " + args + " 2>" + errFile;
  TToolRun run;
  std::FILE* p = ::popen(cmd.c_str(), "r");
  if (!p) return run;
  std::array<char, 65536> buf;
  std::size_t n;
  while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) run.out.append(buf.data(), n);
  int status = ::pclose(p);
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

inline std::string Quote(const std::string& s) { return "'" + s + "'"; }

// One argument for the shell, quoted so that any bytes pass (quotes too).
inline std::string ShellQuote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

struct TToolResult {
  int code = -1;
  std::string out;
  std::string err;
};

// Runs vldtool in `cwd` with the arguments as given, stdout and stderr
// captured in files in `scratch` (so neither is a terminal), stdin empty;
// `prefix` is shell run first in the same shell (a ulimit).
inline TToolResult RunToolIn(const std::filesystem::path& scratch, const std::filesystem::path& cwd,
                             const std::vector<std::string>& args, const std::string& prefix = "") {
  const std::filesystem::path out = scratch / "run.out", err = scratch / "run.err";
  std::string cmd = "cd " + ShellQuote(cwd.string()) + " && " + prefix + " exec " + ShellQuote(VLDTOOL_PATH);
  for (const auto& a : args) cmd += " " + ShellQuote(a);
  cmd += " >" + ShellQuote(out.string()) + " 2>" + ShellQuote(err.string()) + " </dev/null";
  const int status = std::system(("bash -c " + ShellQuote(cmd)).c_str());
  TToolResult r;
  r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.out = vld::AsString(vld::ReadWholeFile(out));
  r.err = vld::AsString(vld::ReadWholeFile(err));
  std::filesystem::remove(out);
  std::filesystem::remove(err);
  return r;
}
