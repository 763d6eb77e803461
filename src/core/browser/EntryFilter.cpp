#include "core/browser/EntryFilter.h"

#include <algorithm>
#include <map>

#include "core/bundle/LabReader.h"

namespace vld {

namespace {

char Fold(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool HasWildcards(std::string_view p) { return p.find_first_of("*?") != std::string_view::npos; }

// Whole-name wildcard match with folded case; '*' backtracks to its last
// position only, so the cost stays linear in practice.
bool WildcardMatch(std::string_view name, std::string_view pattern) {
  std::size_t n = 0, p = 0, star = std::string_view::npos, resume = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || (pattern[p] != '*' && Fold(pattern[p]) == Fold(name[n])))) {
      ++n;
      ++p;
    } else if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = n;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

bool ContainsFolded(std::string_view name, std::string_view foldedNeedle) {
  if (foldedNeedle.size() > name.size()) return false;
  for (std::size_t i = 0; i + foldedNeedle.size() <= name.size(); ++i) {
    std::size_t k = 0;
    while (k < foldedNeedle.size() && Fold(name[i + k]) == foldedNeedle[k]) ++k;
    if (k == foldedNeedle.size()) return true;
  }
  return false;
}

bool InFolder(std::string_view name, std::string_view folder) {
  if (folder.empty()) return true;
  if (name.size() <= folder.size() || name[folder.size()] != '\\') return false;
  for (std::size_t i = 0; i < folder.size(); ++i)
    if (Fold(name[i]) != Fold(folder[i])) return false;
  return true;
}

// A filter prepared once for many names.
struct TPrepared {
  const TEntryFilter& filter;
  bool wildcards;
  std::string folded;
  explicit TPrepared(const TEntryFilter& f) : filter(f), wildcards(HasWildcards(f.pattern)) {
    for (char c : f.pattern) folded += Fold(c);
  }
  bool operator()(std::string_view name) const {
    if (!InFolder(name, filter.folder)) return false;
    if (!filter.pattern.empty() && !(wildcards ? WildcardMatch(name, filter.pattern) : ContainsFolded(name, folded)))
      return false;
    return filter.kind == EntryKind::All || KindOfName(name) == filter.kind;
  }
};

}  // namespace

EntryKind KindOfName(std::string_view name) {
  switch (FormatForType(name).family) {
    case FormatFamily::Image:
      return EntryKind::Images;
    case FormatFamily::Sound:
      return EntryKind::Sounds;
    case FormatFamily::Script:
      return EntryKind::Scripts;
    case FormatFamily::Text:
      return EntryKind::Text;
    case FormatFamily::Surface:
    case FormatFamily::Movie:
      return EntryKind::Animations;
    default:
      return EntryKind::Other;
  }
}

bool MatchesFilter(std::string_view name, const TEntryFilter& filter) { return TPrepared(filter)(name); }

std::vector<int> FilterEntries(const TLabReader& reader, const TEntryFilter& filter) {
  return FilterEntries(
      reader.Count(), [&reader](int i) { return reader.GetName(i); }, filter);
}

std::vector<int> FilterEntries(int count, const EntryNameFn& name, const TEntryFilter& filter) {
  std::vector<int> out;
  const TPrepared match(filter);
  for (int i = 0; i < count; ++i)
    if (match(name(i))) out.push_back(i);
  return out;
}

std::vector<TFolderNode> FolderTree(const TLabReader& reader) {
  return FolderTree(reader.Count(), [&reader](int i) { return reader.GetName(i); });
}

std::vector<TFolderNode> FolderTree(int count, const EntryNameFn& entryName) {
  // Folded path -> (shown path, count); a std::map keeps each level sorted.
  struct Info {
    std::string path;
    int entries = 0;
  };
  std::map<std::string, Info> folders;
  for (int i = 0; i < count; ++i) {
    std::string_view name = entryName(i);
    for (std::size_t slash = name.find('\\'); slash != std::string_view::npos; slash = name.find('\\', slash + 1)) {
      if (slash == 0) continue;
      std::string path(name.substr(0, slash));
      std::string key;
      // '\x01' sorts a folder's own key before its children's ("a" < "a\x01b").
      for (char c : path) key += c == '\\' ? '\x01' : Fold(c);
      Info& info = folders[key];
      if (info.path.empty()) info.path = path;
      ++info.entries;
    }
  }
  std::vector<TFolderNode> out;
  out.reserve(folders.size());
  for (const auto& [key, info] : folders) {
    TFolderNode node;
    node.path = info.path;
    std::size_t last = info.path.rfind('\\');
    node.name = last == std::string::npos ? info.path : info.path.substr(last + 1);
    node.depth = static_cast<int>(std::count(info.path.begin(), info.path.end(), '\\'));
    node.entries = info.entries;
    out.push_back(std::move(node));
  }
  return out;
}

}  // namespace vld
