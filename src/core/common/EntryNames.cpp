#include "core/common/EntryNames.h"

#include <cstdio>

namespace vld {

std::string FoldLower(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

bool NameContains(std::string_view name, std::string_view ext) {
  return FoldLower(name).find(ext) != std::string::npos;
}

std::string FormatThousands(std::int64_t value) {
  std::string digits = std::to_string(value);
  const std::size_t len = digits.size();
  std::string out;
  // Insert "." after the p-th character whenever len - p is a multiple of 3.
  for (std::size_t p = 1; p <= len; ++p) {
    out.push_back(digits[p - 1]);
    // No mark right after a minus sign: -100, not -.100.
    if (p < len && (len - p) % 3 == 0 && !(p == 1 && digits[0] == '-')) out.push_back('.');
  }
  return out;
}

std::string FormatOffset(std::int32_t value) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", static_cast<std::uint32_t>(value));
  return buf;
}

std::string FormatSize(std::int64_t size) { return FormatThousands(size) + " bytes"; }

std::string NameAfterLastBackslash(std::string_view name) {
  std::size_t p = name.rfind('\\');
  return std::string(p == std::string_view::npos ? name : name.substr(p + 1));
}

std::string FolderOfName(std::string_view name) {
  std::size_t p = name.rfind('\\');
  return p == std::string_view::npos ? std::string() : std::string(name.substr(0, p + 1));
}

std::string SaveSuggestion(std::string_view name, std::string_view extension) {
  std::string part = NameAfterLastBackslash(name);
  std::size_t dot = part.find('.');
  return (dot == std::string::npos ? std::string() : part.substr(0, dot)) + std::string(extension);
}

std::string OutputStem(std::string_view name) {
  const std::size_t slash = name.find_last_of("\\/");
  std::string_view part = slash == std::string_view::npos ? name : name.substr(slash + 1);
  return std::string(part.substr(0, part.find('.')));
}

}  // namespace vld
