#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/browser/Formats.h"

namespace vld {

class TLabReader;

// The kinds of entry the viewer's type drop-down offers, by the type row a
// name gets (what its Type label shows).
enum class EntryKind { All, Images, Sounds, Scripts, Text, Animations, Other };
EntryKind KindOfName(std::string_view name);

// What the list shows: a name pattern, a kind and a folder.
struct TEntryFilter {
  // Empty: every name. Without '*' or '?': a case-insensitive substring.
  // With them: the whole name matches the wildcards ('*' any run of
  // characters, '?' one), case-insensitively. Case folds A-Z only.
  std::string pattern;
  EntryKind kind = EntryKind::All;
  // A folder of the folder view ('\'-separated, without the trailing '\');
  // empty for all. An entry is in a folder when its name starts with it and '\'.
  std::string folder;

  bool Active() const { return !pattern.empty() || kind != EntryKind::All || !folder.empty(); }
};

// True when the name passes the filter.
bool MatchesFilter(std::string_view name, const TEntryFilter& filter);

// The name of entry i of a list of entries (a bundle's, or as edited).
using EntryNameFn = std::function<std::string_view(int index)>;

// The indexes of the entries that pass, in directory order.
std::vector<int> FilterEntries(const TLabReader& reader, const TEntryFilter& filter);
std::vector<int> FilterEntries(int count, const EntryNameFn& name, const TEntryFilter& filter);

// One folder of the folder tree: its path, its own name, its depth and how
// many entries lie below it (at any depth).
struct TFolderNode {
  std::string path;  // "models\actors"
  std::string name;  // "actors"
  int depth = 0;     // 0 for a top-level folder
  int entries = 0;
};
// Every folder that entry names mention, in depth-first order with the
// folders of each level sorted by name (A-Z folded).
std::vector<TFolderNode> FolderTree(const TLabReader& reader);
std::vector<TFolderNode> FolderTree(int count, const EntryNameFn& name);

}  // namespace vld
