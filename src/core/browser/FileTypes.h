#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/browser/Formats.h"

namespace vld {

// The refusal of an entry whose size is 0 or less, shared by every action
// that reads a single entry.
inline constexpr const char* kEmptyEntryRefusal = "Hmm..the filesize is less than or equal to 0. That's is odd.";

// One row of the file-type table is one format descriptor.
using FileTypeRow = TFormat;

// The row that applies to an entry name (the last row, "unknown", when none does).
const FileTypeRow& ClassifyName(std::string_view name);
// Row index 0..16 of ClassifyName's result.
int FileTypeRowIndex(std::string_view name);

// The type text shown for a name; row 8 (".bik") depends on the open mode.
std::string TypeText(std::string_view name, bool singleBink, bool singleSmush);

// The type text of an entry inside a bundle, as the viewer shows it: a movie
// there is a "Bink animation" too (the table's own text for it was never
// meant to be seen).
std::string EntryTypeText(std::string_view name);

// The first matching action of the dispatch table, or None.
EntryAction DispatchAction(std::string_view name);

// True when the A-Z folded name contains `ext` anywhere.
bool NameContains(std::string_view name, std::string_view ext);

// Decimal text with "." between groups of three digits, whatever the locale.
std::string FormatThousands(std::int64_t value);
// "0x" and exactly eight upper-case hex digits (two's complement for negatives).
std::string FormatOffset(std::int32_t value);
// FormatThousands(size) + " bytes".
std::string FormatSize(std::int32_t size);

// The part of an entry name after its last '\' (the whole name without one).
std::string NameAfterLastBackslash(std::string_view name);

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
