#include "core/common/ShownText.h"

#include <cstdio>

namespace vld {

namespace {

std::string Escaped(std::string_view text, bool c1) {
  std::string out;
  out.reserve(text.size());
  for (unsigned char c : text) {
    const bool control = c < 0x20 || c == 0x7F || (c1 && c >= 0x80 && c < 0xA0);
    if (!control) {
      out += static_cast<char>(c);
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    }
  }
  return out;
}

}  // namespace

std::string ShownName(std::string_view name) { return Escaped(name, true); }

std::string ShownMessage(std::string_view text) { return Escaped(text, false); }

}  // namespace vld
