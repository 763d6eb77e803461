#pragma once

#include <array>
#include <cstdio>
#include <string>

#include <sys/wait.h>

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
