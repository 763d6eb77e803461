#pragma once

#include <string>
#include <string_view>

namespace vld {

// Text from a file, made harmless to print: a bundle's names can hold
// escape, carriage-return or bell bytes that would retitle a terminal, clear
// it or forge lines. Control bytes become "\r", "\n", "\t" or "\xNN";
// everything else stays as it is.

// An 8-bit entry name: C0 controls, DEL and the C1 controls 0x80-0x9F.
std::string ShownName(std::string_view name);

// A UTF-8 message or path: C0 controls and DEL (bytes from 0x80 up belong
// to UTF-8 sequences and stay).
std::string ShownMessage(std::string_view text);

}  // namespace vld
