#include "core/browser/Extractor.h"

#include <numeric>
#include <string>
#include <unordered_set>

#include "core/browser/ExtractPaths.h"
#include "core/common/Errors.h"
#include "core/common/FileIO.h"

namespace vld {

namespace fs = std::filesystem;

namespace {

// Creates each folder below the destination once; repeated entries in the
// same folder cost no system call.
class FolderMaker {
 public:
  explicit FolderMaker(const fs::path& root) : root_(root) {
    std::error_code ec;
    fs::create_directories(SystemPath(root_), ec);
    if (ec || !fs::is_directory(root_, ec))
      throw FileError("Cannot create folder " + PathText(root_) + ". " + (ec ? ec.message() : "It is a file."));
  }

  void Make(const std::string& folder) {
    if (folder.empty() || made_.count(folder)) return;
    // Parents first; each part of the way is remembered as well.
    std::size_t pos = 0;
    for (;;) {
      std::size_t slash = folder.find('/', pos);
      std::string prefix = folder.substr(0, slash);
      if (!made_.count(prefix)) {
        fs::path path = root_ / prefix;
        std::error_code ec;
        fs::create_directory(SystemPath(path), ec);
        if (ec) throw FileError("Cannot create folder " + PathText(path) + ". " + ec.message());
        made_.insert(prefix);
      }
      if (slash == std::string::npos) break;
      pos = slash + 1;
    }
  }

 private:
  fs::path root_;
  std::unordered_set<std::string> made_;
};

}  // namespace

TExtractResult ExtractEntries(TLabReader& reader, const fs::path& destination, std::span<const int> indexes,
                              const ExtractProgressFn& progress) {
  TExtractResult result;
  const int count = static_cast<int>(indexes.size());
  if (count == 0) return result;
  FolderMaker folders(destination);
  const fs::path bundle = reader.FileName();
  const std::string bundleFile = PathText(bundle.filename());

  for (int done = 0; done < count; ++done) {
    const int index = indexes[static_cast<std::size_t>(done)];
    fs::path target;
    try {
      TEntryPath mapped = MapEntryName(reader.GetName(index));
      target = destination / mapped.Relative();
      if (progress) progress(done, count, target);
      folders.Make(mapped.folder);
      // An entry must not replace the bundle it is read from; compare the
      // files themselves only when the names already agree.
      std::error_code ec;
      if (mapped.file == bundleFile && fs::equivalent(target, bundle, ec))
        throw VldError("Entry " + std::string(reader.GetName(index)) + " would replace the bundle being read, " + PathText(bundle) +
                       ".");
      std::int64_t written = reader.ExtractEntry(index, target);
      ++result.files;
      result.bytes += written;
      if (written < reader.GetSize(index)) result.cutShortIndexes.push_back(index);
    } catch (const std::exception& e) {
      std::string why = e.what();
      if (!why.empty() && why.back() != '.') why += '.';
      throw VldError(why + " Extraction stopped at entry " + std::to_string(done + 1) + " of " + std::to_string(count) +
                     "; the " + std::to_string(result.files) + " files written before it are in place.");
    }
  }
  return result;
}

TExtractResult ExtractAllEntries(TLabReader& reader, const fs::path& destination, const ExtractProgressFn& progress) {
  std::vector<int> all(static_cast<std::size_t>(reader.Count()));
  std::iota(all.begin(), all.end(), 0);
  return ExtractEntries(reader, destination, all, progress);
}

}  // namespace vld
