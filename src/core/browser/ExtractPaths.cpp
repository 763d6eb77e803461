#include "core/browser/ExtractPaths.h"

#include <cstdint>
#include <cstdio>
#include <vector>

#include "core/common/FileIO.h"

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

#ifdef _WIN32
constexpr bool kWindowsPathRules = true;
#else
constexpr bool kWindowsPathRules = false;
#endif

std::string CleanPart(std::string_view raw) {
  std::string part = EncodePart(raw);
  if (kWindowsPathRules) part = WindowsSafePart(part);
  return ShortenPart(part);
}

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  return true;
}

// CON, NUL, COM1, LPT¹ ...: names Windows opens as devices, whatever follows
// the first '.'.
bool IsWindowsDeviceName(std::string_view base) {
  while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
  for (std::string_view name : {"con", "prn", "aux", "nul", "conin$", "conout$"})
    if (EqualsIgnoringAsciiCase(base, name)) return true;
  if (base.size() < 4) return false;
  std::string_view head = base.substr(0, 3), tail = base.substr(3);
  if (!EqualsIgnoringAsciiCase(head, "com") && !EqualsIgnoringAsciiCase(head, "lpt")) return false;
  if (tail.size() == 1) return tail[0] >= '0' && tail[0] <= '9';
  // Superscript one, two and three in UTF-8.
  return tail == "\xC2\xB9" || tail == "\xC2\xB2" || tail == "\xC2\xB3";
}

bool IsNativeSeparator(fs::path::value_type c) { return c == '/' || c == fs::path::preferred_separator; }

fs::path::string_type TrimTrailingSeparators(fs::path::string_type text) {
  while (text.size() > 1 && IsNativeSeparator(text.back())) text.pop_back();
  return text;
}

}  // namespace

std::string WindowsSafePart(std::string_view part) {
  std::string out(part);
  for (char& c : out)
    if (std::string_view("<>:\"|?*").find(c) != std::string_view::npos) c = '_';
  // Windows drops trailing dots and spaces, which would merge names or turn
  // ".. " into "..".
  for (std::size_t i = out.size(); i > 0 && (out[i - 1] == '.' || out[i - 1] == ' '); --i) out[i - 1] = '_';
  std::size_t dot = out.find('.');
  if (IsWindowsDeviceName(std::string_view(out).substr(0, dot)))
    out.insert(dot == std::string::npos ? out.size() : dot, "_");
  return out;
}

fs::path TEntryPath::Relative() const {
  fs::path relative = folder.empty() ? Utf8Path(file) : Utf8Path(folder) / Utf8Path(file);
  return relative.make_preferred();
}

TEntryPath MapEntryName(std::string_view entryName) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= entryName.size(); ++i) {
    if (i == entryName.size() || IsSeparator(entryName[i])) {
      parts.push_back(entryName.substr(start, i - start));
      start = i + 1;
    }
  }
  // A UNC name ("\\server\share\...", also "\\?\C:\...") loses its server
  // and share as it would lose a drive; the file part always stays.
  if (kWindowsPathRules && parts.size() > 2 && parts[0].empty() && parts[1].empty()) {
    std::size_t drop = std::min<std::size_t>(2, parts.size() - 3);
    parts.erase(parts.begin() + 2, parts.begin() + 2 + static_cast<std::ptrdiff_t>(drop));
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

std::string SafeStem(std::string_view utf8Stem, bool windowsRules) {
  std::string part(utf8Stem);
  for (char& c : part)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '_';
  if (windowsRules) part = WindowsSafePart(part);
  return ShortenPart(part);
}

std::string BundleStem(const fs::path& bundlePath) {
  std::string name = PathText(bundlePath.filename());
  std::size_t dot = name.find('.');
  return dot == std::string::npos ? std::string() : SafeStem(name.substr(0, dot), kWindowsPathRules);
}

// Joined in the native encoding, so that the chosen folder's name is kept as it is.
fs::path ExtractDestination(const fs::path& chosenFolder, const fs::path& bundlePath) {
  fs::path::string_type folder = TrimTrailingSeparators(chosenFolder.native());
  fs::path stem = Utf8Path(BundleStem(bundlePath));
  if (stem.empty()) return folder.empty() ? fs::path(".") : fs::path(folder);
  if (folder.empty()) return stem;
  if (!IsNativeSeparator(folder.back())) folder += fs::path::preferred_separator;
  return fs::path(folder + stem.native());
}

std::string ExtractPathText(const fs::path& destination) {
  return "path = " + PathText(fs::path(TrimTrailingSeparators(destination.native())));
}

}  // namespace vld
