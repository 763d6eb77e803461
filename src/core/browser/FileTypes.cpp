#include "core/browser/FileTypes.h"

#include <cstdio>

#include "core/bundle/LabReader.h"

namespace vld {

namespace {

constexpr FileTypeRow kRows[] = {
    {".bmp", "Bitmap image", "View BMP image", true, true, false, true},
    {".til", "Tile", "View image", true, true, false, true},
    {".tab", "Text table", "Show text", true, false, false, true},
    {".aif", "Audio file", "Play AIF", true, false, true, true},
    {".tga", "TGA image", "View TGA image", true, true, false, true},
    {".kfn", "Thrapwick font", "View font", true, true, false, true},
    {".sur", "Model surface description", "Play surface", true, false, false, true},
    {".bik", "[BUG ALERT - Should never be displayed!]", "Play animation", true, false, false, true},
    {".wvc", "Wave (voice compressed)", "Play WVC", true, false, true, true},
    {".anim", "Model animation", nullptr, false, false, false, true},
    {".lua", "Lua script", nullptr, false, false, false, true},
    {".cos", "Model costume", nullptr, false, false, false, true},
    {".mesh", "Model mesh", nullptr, false, false, false, true},
    {".spr", "Sprite", nullptr, false, false, false, true},
    {".skl", "Model skeleton", nullptr, false, false, false, true},
    {".lip", "Lip sync file", nullptr, false, false, false, true},
    {nullptr, "unknown", nullptr, false, false, false, true},
};
constexpr int kRowCount = sizeof kRows / sizeof kRows[0];
constexpr int kBikRow = 7;

struct DispatchRow {
  const char* contains;
  EntryAction action;
};
constexpr DispatchRow kDispatch[] = {
    {".til", EntryAction::ViewTil},     {".wvc", EntryAction::PlayWvc}, {".lua", EntryAction::ShowLua},
    {".tab", EntryAction::ViewText},    {".sur", EntryAction::PlaySurface}, {".kfn", EntryAction::ShowKFN},
    {".tga", EntryAction::ShowTGA},     {".bmp", EntryAction::ShowBMP}, {".aif", EntryAction::PlayAif},
    {".bik", EntryAction::PlayAnim},
};

}  // namespace

bool NameContains(std::string_view name, std::string_view ext) {
  return FoldLower(name).find(ext) != std::string::npos;
}

int FileTypeRowIndex(std::string_view name) {
  std::string folded = FoldLower(name);
  for (int i = 0; i < kRowCount - 1; ++i)
    if (folded.find(kRows[i].contains) != std::string::npos) return i;
  return kRowCount - 1;
}

const FileTypeRow& ClassifyName(std::string_view name) { return kRows[FileTypeRowIndex(name)]; }

std::string TypeText(std::string_view name, bool singleBink, bool singleSmush) {
  int row = FileTypeRowIndex(name);
  if (row == kBikRow) {
    if (singleBink) return "Bink animation";
    if (singleSmush) return "Smush wrapped Bink animation";
  }
  return kRows[row].typeText;
}

EntryAction DispatchAction(std::string_view name) {
  std::string folded = FoldLower(name);
  for (const auto& row : kDispatch)
    if (folded.find(row.contains) != std::string::npos) return row.action;
  return EntryAction::None;
}

std::string FormatThousands(std::int32_t value) {
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

std::string FormatSize(std::int32_t size) { return FormatThousands(size) + " bytes"; }

std::string NameAfterLastBackslash(std::string_view name) {
  std::size_t p = name.rfind('\\');
  return std::string(p == std::string_view::npos ? name : name.substr(p + 1));
}

std::string SaveSuggestion(std::string_view name, std::string_view extension) {
  std::string part = NameAfterLastBackslash(name);
  std::size_t dot = part.find('.');
  return (dot == std::string::npos ? std::string() : part.substr(0, dot)) + std::string(extension);
}

}  // namespace vld
