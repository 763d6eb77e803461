#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

namespace vld {

// A file-name part longer than this (in bytes, after encoding) is shortened:
// most file systems refuse longer names.
constexpr std::size_t kMaxPathPartBytes = 255;

// The file name used when an entry name has no usable file part
// ("", "gfx\", "..", "C:").
constexpr std::string_view kUnnamedEntryFile = "unnamed";

// Where an entry lands below the extraction folder.
struct TEntryPath {
  std::string folder;  // relative folder, parts joined by '/'; empty for none
  std::string file;    // file name; never empty, never "." or ".."

  std::filesystem::path Relative() const;
  // The path as one text, parts joined by '/' (the form batch items take).
  std::string Joined() const { return folder.empty() ? file : folder + "/" + file; }
};

// Maps an entry name to a relative path that always stays inside the
// extraction folder. The same name always gives the same path, and ordinary
// names keep their shape (gfx\a.til -> gfx/a.til):
//  - '\' and '/' both separate folders;
//  - a leading drive ("C:") is dropped;
//  - empty, "." and ".." folder parts are dropped (so leading separators,
//    doubled separators and climbing out of the folder all vanish);
//  - an empty, "." or ".." file part becomes kUnnamedEntryFile;
//  - control bytes (0x00-0x1F, 0x7F-0x9F) become '_';
//  - bytes 0xA0-0xFF are read as Latin-1 and written as UTF-8;
//  - a part longer than kMaxPathPartBytes keeps its start and gets "~" and a
//    hash of the whole part, so that long names stay distinct.
// On Windows also: a leading UNC server and share ("\\server\share\") are
// dropped, and every part goes through WindowsSafePart.
TEntryPath MapEntryName(std::string_view entryName);

// A UTF-8 file-name part made safe for Windows: the characters <>:"|?* become
// '_', trailing dots and spaces become '_' (Windows would drop them), and a
// device name (CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM0-9, LPT0-9 and
// COM/LPT with a superscript 1-3, in any case, with or without extensions)
// gets '_' after it: "con.txt" -> "con_.txt". Other parts stay as they are.
std::string WindowsSafePart(std::string_view part);

// The part of the bundle's file name before its first "." (empty when it has
// none), made safe as a folder name by SafeStem under this platform's rules.
std::string BundleStem(const std::filesystem::path& bundlePath);

// A UTF-8 name part made safe as entry names' parts are: control bytes become
// '_', with `windowsRules` WindowsSafePart applies ("sp " -> "sp_", which
// Windows would otherwise store as "sp"), and a part longer than
// kMaxPathPartBytes keeps its start and gets "~" and a hash.
std::string SafeStem(std::string_view utf8Stem, bool windowsRules);

// The folder that extraction of `bundlePath` into `chosenFolder` fills: the
// chosen folder joined with BundleStem, no doubled separator and no trailing
// one (a bundle name without "." extracts straight into the chosen folder).
std::filesystem::path ExtractDestination(const std::filesystem::path& chosenFolder,
                                         const std::filesystem::path& bundlePath);

// "path = " and the destination without a trailing separator, as the extract
// window announces it.
std::string ExtractPathText(const std::filesystem::path& destination);

}  // namespace vld
