#include "core/browser/ExtractPaths.h"

#include <cstdint>
#include <cstdio>
#include <vector>

namespace vld {

namespace fs = std::filesystem;

namespace {

// An extension this short (with its ".") survives the shortening of a long part.
constexpr std::size_t kMaxKeptExtension = 16;

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsDotPart(std::string_view part) { return part.empty() || part == "." || part == ".."; }

std::uint32_t Fnv1a(std::string_view text) {
  std::uint32_t h = 2166136261u;
  for (unsigned char c : text) {
    h ^= c;
    h *= 16777619u;
  }
  return h;
}

// Control bytes out, Latin-1 to UTF-8.
std::string EncodePart(std::string_view raw) {
  std::string out;
  out.reserve(raw.size());
  for (unsigned char c : raw) {
    if (c < 0x20 || (c >= 0x7F && c < 0xA0)) {
      out += '_';
    } else if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::string ShortenPart(const std::string& part) {
  if (part.size() <= kMaxPathPartBytes) return part;
  std::string ext;
  std::size_t dot = part.rfind('.');
  if (dot != std::string::npos && dot > 0 && part.size() - dot <= kMaxKeptExtension) ext = part.substr(dot);
  char tag[16];
  std::snprintf(tag, sizeof tag, "~%08x", static_cast<unsigned>(Fnv1a(part)));
  std::size_t keep = kMaxPathPartBytes - ext.size() - std::char_traits<char>::length(tag);
  // Never split a UTF-8 sequence.
  while (keep > 0 && (static_cast<unsigned char>(part[keep]) & 0xC0) == 0x80) --keep;
  return part.substr(0, keep) + tag + ext;
}

std::string CleanPart(std::string_view raw) { return ShortenPart(EncodePart(raw)); }

std::string TrimTrailingSeparators(std::string text) {
  while (text.size() > 1 && text.back() == fs::path::preferred_separator) text.pop_back();
  return text;
}

}  // namespace

fs::path TEntryPath::Relative() const { return folder.empty() ? fs::path(file) : fs::path(folder) / file; }

TEntryPath MapEntryName(std::string_view entryName) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= entryName.size(); ++i) {
    if (i == entryName.size() || IsSeparator(entryName[i])) {
      parts.push_back(entryName.substr(start, i - start));
      start = i + 1;
    }
  }
  std::string_view& first = parts.front();
  if (first.size() >= 2 && first[1] == ':' &&
      ((first[0] >= 'A' && first[0] <= 'Z') || (first[0] >= 'a' && first[0] <= 'z')))
    first.remove_prefix(2);

  TEntryPath result;
  std::string_view file = parts.back();
  parts.pop_back();
  for (std::string_view part : parts) {
    if (IsDotPart(part)) continue;
    if (!result.folder.empty()) result.folder += '/';
    result.folder += CleanPart(part);
  }
  result.file = IsDotPart(file) ? std::string(kUnnamedEntryFile) : CleanPart(file);
  return result;
}

std::string BundleStem(const fs::path& bundlePath) {
  std::string name = bundlePath.filename().string();
  std::size_t dot = name.find('.');
  return dot == std::string::npos ? std::string() : name.substr(0, dot);
}

fs::path ExtractDestination(const fs::path& chosenFolder, const fs::path& bundlePath) {
  std::string folder = TrimTrailingSeparators(chosenFolder.string());
  std::string stem = BundleStem(bundlePath);
  if (stem.empty()) return folder.empty() ? fs::path(".") : fs::path(folder);
  if (folder.empty()) return stem;
  if (folder.back() != fs::path::preferred_separator) folder += fs::path::preferred_separator;
  return folder + stem;
}

std::string ExtractPathText(const fs::path& destination) {
  return "path = " + TrimTrailingSeparators(destination.string());
}

}  // namespace vld
