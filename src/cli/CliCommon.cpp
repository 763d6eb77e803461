#include "cli/CliCommon.h"

#include <cstdio>
#include <iostream>

#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#else
#include <unistd.h>
#endif

#include "core/browser/Formats.h"
#include "core/bundle/LabReader.h"
#include "core/common/Errors.h"
#include "core/common/FileIO.h"
#include "core/common/ShownText.h"

namespace vld::cli {

bool IsBundleFile(const std::filesystem::path& path) {
  return static_cast<std::uint32_t>(ReadMagic(path)) == kMagicLABN;
}

TInputEntry LoadInput(const std::filesystem::path& input, const std::string& entry, const TInputCheck& check,
                      bool mapFile) {
  TInputEntry result;
  std::uint8_t head[kConversionHeadBytes];
  if (IsBundleFile(input)) {
    if (entry.empty()) throw VldError(PathText(input) + " is a bundle: name the entry to use.");
    TLabReader reader;
    reader.Open(input);
    int index = reader.FindEntry(entry);
    if (index < 0) throw VldError("No entry named " + entry + " in " + PathText(input) + ".");
    if (check) {
      const TFileHeader& h = reader.GetHeader(index);
      const std::int64_t size = h.Size <= 0 || h.Offset < 0 || h.Offset >= reader.FileSize()
                                    ? 0
                                    : std::min<std::int64_t>(h.Size, reader.FileSize() - h.Offset);
      const std::size_t got =
          size > 0 ? reader.Stream().ReadAt(h.Offset, head, std::min<std::size_t>(sizeof head, size)) : 0;
      check(reader.GetName(index), ByteSpan(head, got), size);
    }
    result.name = reader.GetName(index);
    result.bytes = reader.ReadEntryBytes(index);
    result.truncated = !reader.EntryComplete(index);
    return result;
  }
  if (!entry.empty()) throw VldError(PathText(input) + " is not a LAB bundle, so it has no entry " + entry + ".");
  result.name = input.filename().string();
  if (check) {
    TFileStream file(input);
    check(result.name, ByteSpan(head, file.ReadAt(0, head, sizeof head)), file.Size());
  }
  if (mapFile)
    result.file = std::make_unique<TFileView>(input);
  else
    result.bytes = ReadWholeFile(input);
  return result;
}

void CheckOutput(const std::string& out, const std::filesystem::path& input) {
  if (out == "-") return;
  if (IsSameFile(input, out))
    throw VldError("Writing " + out + " would replace the input file; name another output with -o.");
  CheckReplaceable(out);
}

void WriteOutput(const std::string& out, ByteSpan bytes) {
  if (out == "-") {
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size())
      throw FileError("Write error on standard output.");
    if (std::fflush(stdout) != 0) throw FileError("Write error on standard output.");
    return;
  }
  WriteFileAtomic(Utf8Path(out), bytes);
}

bool ReportDamage(const TLabReader& reader, const std::string& prefix) {
  const std::vector<std::string> lines = DamageReport(reader);
  for (const std::string& line : lines) std::cerr << "vldtool: " << ShownMessage(prefix) << line << "\n";
  return !lines.empty();
}

bool ShowProgress() { return ::isatty(2) != 0; }

}  // namespace vld::cli
