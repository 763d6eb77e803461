#include "cli/CliCommon.h"

#include <cstdio>
#include <iostream>

#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#else
#include <unistd.h>
#endif

#include "core/bundle/LabReader.h"
#include "core/common/Errors.h"
#include "core/common/FileIO.h"

namespace vld::cli {

bool IsBundleFile(const std::filesystem::path& path) {
  return static_cast<std::uint32_t>(ReadMagic(path)) == kMagicLABN;
}

TInputEntry LoadInput(const std::filesystem::path& input, const std::string& entry) {
  TInputEntry result;
  if (IsBundleFile(input)) {
    if (entry.empty()) throw VldError(PathText(input) + " is a bundle: name the entry to use.");
    TLabReader reader;
    reader.Open(input);
    int index = reader.FindEntry(entry);
    if (index < 0) throw VldError("No entry named " + entry + " in " + PathText(input) + ".");
    result.name = reader.GetName(index);
    result.bytes = reader.ReadEntryBytes(index);
    result.truncated = !reader.EntryComplete(index);
    return result;
  }
  if (!entry.empty()) throw VldError(PathText(input) + " is not a LAB bundle, so it has no entry " + entry + ".");
  result.name = input.filename().string();
  result.bytes = ReadWholeFile(input);
  return result;
}

void WriteOutput(const std::string& out, ByteSpan bytes) {
  if (out == "-") {
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size())
      throw FileError("Write error on standard output.");
    if (std::fflush(stdout) != 0) throw FileError("Write error on standard output.");
    return;
  }
  WriteFileAtomic(out, bytes);
}

bool ShowProgress() { return ::isatty(2) != 0; }

}  // namespace vld::cli
