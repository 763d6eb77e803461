#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vld {

// How entry names are tested, cut and shown: the small vocabulary the type
// registry, both front ends and the batch runs share.

// The refusal of an entry whose size is 0 or less, shared by every action
// that reads a single entry.
inline constexpr const char* kEmptyEntryRefusal = "Hmm..the filesize is less than or equal to 0. That's is odd.";

// Folds ASCII A-Z to a-z and leaves every other byte as it is.
std::string FoldLower(std::string_view text);
// True when the A-Z folded name contains `ext` anywhere.
bool NameContains(std::string_view name, std::string_view ext);

// Decimal text with "." between groups of three digits, whatever the locale.
std::string FormatThousands(std::int64_t value);
// "0x" and exactly eight upper-case hex digits (two's complement for negatives).
std::string FormatOffset(std::int32_t value);
// FormatThousands(size) + " bytes".
std::string FormatSize(std::int64_t size);

// The part of an entry name after its last '\' (the whole name without one).
std::string NameAfterLastBackslash(std::string_view name);
// The part of an entry name up to and including its last '\' (empty without one).
std::string FolderOfName(std::string_view name);

// The file part of an entry name cut before its first "." (all of it is
// dropped when there is none) followed by `extension`: menu\title.bmp ->
// title.bmp, a.b.til -> a.bmp, noext -> .bmp.
std::string SaveSuggestion(std::string_view name, std::string_view extension);
inline std::string BmpSuggestion(std::string_view name) { return SaveSuggestion(name, ".bmp"); }
// The file part of a name ('\\' or '/' separates folders) cut at its first
// "." and kept whole when it has none: a.b.til -> a, noext -> noext. The
// command line's output names and convert-all's file names.
std::string OutputStem(std::string_view name);

}  // namespace vld
