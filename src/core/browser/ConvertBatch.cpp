#include "core/browser/ConvertBatch.h"

#include <set>

#include "core/browser/ExtractPaths.h"
#include "core/browser/Formats.h"
#include "core/bundle/LabReader.h"
#include "core/common/Errors.h"

namespace vld {

namespace {

std::string ConvertedPath(const std::string& name, const std::string& extension, std::set<std::string>& used) {
  std::size_t slash = name.rfind('\\');
  std::string folder = slash == std::string::npos ? std::string() : name.substr(0, slash + 1);
  std::string file = slash == std::string::npos ? name : name.substr(slash + 1);
  std::string stem = extension == ".txt" ? file : OutputStem(file);
  std::string target = MapEntryName(folder + stem + extension).Joined();
  if (!used.insert(target).second) {
    target = MapEntryName(folder + file + extension).Joined();
    for (int n = 2; !used.insert(target).second; ++n)
      target = MapEntryName(folder + file + "." + std::to_string(n) + extension).Joined();
  }
  return target;
}

}  // namespace

std::vector<std::string> PlanConvertedPaths(std::span<const std::string_view> names, ImageFormat images) {
  std::set<std::string> used;
  std::vector<std::string> paths;
  paths.reserve(names.size());
  for (std::string_view name : names) {
    const std::string extension = ConvertedExtension(name, images);
    if (extension.empty()) {
      paths.push_back(MapEntryName(name).Joined());
      used.insert(paths.back());
    } else {
      paths.push_back(ConvertedPath(std::string(name), extension, used));
    }
  }
  return paths;
}

std::vector<TBatchItem> ConvertedItems(const TLabReader& reader, std::span<const int> indexes, ImageFormat images) {
  std::vector<std::string_view> names;
  names.reserve(indexes.size());
  for (int index : indexes) names.push_back(reader.GetName(index));
  std::vector<std::string> paths = PlanConvertedPaths(names, images);
  std::vector<TBatchItem> items;
  items.reserve(indexes.size());
  for (std::size_t k = 0; k < indexes.size(); ++k) items.push_back({indexes[k], std::move(paths[k])});
  return items;
}

TBatchProduce ConvertedProduce(const TLabReader& reader, ImageFormat images) {
  return [&reader, images](int index, ByteSpan bytes) {
    const std::string_view name = reader.GetName(index);
    const std::string expected = ConvertedExtension(name, images);
    if (expected.empty()) return Bytes(bytes.begin(), bytes.end());
    TConversion c = ConvertEntryBytes(name, bytes, images);
    if (c.extension != expected)
      throw VldError("converts to a " + c.extension + " file, not to the " + expected + " expected.");
    return std::move(c.data);
  };
}

}  // namespace vld
