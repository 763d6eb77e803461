#include "core/lua/LuaStack.h"

#include "core/lua/LuaListing.h"

namespace vld {

void TLuaStack::PushNil() {
  TLuaValue v;
  v.Kind = kLuaNil;
  FItems.push_back(std::move(v));
}

void TLuaStack::PushNumber(double n) {
  TLuaValue v;
  v.Kind = kLuaNumber;
  v.Num = n;
  FItems.push_back(std::move(v));
}

void TLuaStack::PushText(std::string text) {
  TLuaValue v;
  v.Kind = kLuaText;
  v.Text = std::move(text);
  FItems.push_back(std::move(v));
}

TLuaValue TLuaStack::PeekAt(std::size_t depth) const {
  if (depth >= FItems.size()) throw VldError("TLuaStack underflow!");
  return FItems[FItems.size() - depth - 1];
}

TLuaValue TLuaStack::PopAt(std::size_t depth) {
  if (depth >= FItems.size()) {
    if (FLog) FLog("warning: TLuaStack underflow!");
    PushNil();
  }
  if (depth >= FItems.size())
    throw VldError(LuaFormat("TLuaStack index out of range: depth %zu of %zu entries", depth, FItems.size()));
  auto it = FItems.end() - static_cast<std::ptrdiff_t>(depth) - 1;
  TLuaValue v = std::move(*it);
  FItems.erase(it);
  return v;
}

std::string ValueText(const TLuaValue& value, TLuaFunctionRenderer* renderer) {
  switch (value.Kind) {
    case kLuaNil:
      return "nil";
    case kLuaText:
      return value.Text;
    case kLuaNumber:
      return FormatG(value.Num);
    case kLuaFunction:
      return renderer ? renderer->RenderFunction(value.Func) : std::string();
    default:
      return {};
  }
}

std::string QuoteString(const std::string& text) {
  std::string out = "\"";
  out.reserve(text.size() + 2);
  for (char c : text) {
    switch (c) {
      case '\0':
        return out + "\"";
      case 7:
        out += "\\a";
        break;
      case 8:
        out += "\\b";
        break;
      case 9:
        out += "\\t";
        break;
      case 10:
        out += "\\n";
        break;
      case 12:
        out += "\\f";
        break;
      case 13:
        out += "\\r";
        break;
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      default:
        out += c;
    }
  }
  return out + "\"";
}

std::string Paren(const std::string& text) {
  return text.find_first_of(" -+") != std::string::npos ? "(" + text + ")" : text;
}

std::string Unquote(const std::string& text) {
  if (!text.empty() && text.front() == '"' && text.back() == '"' && text.find(' ') == std::string::npos)
    return text.size() >= 2 ? text.substr(1, text.size() - 2) : std::string();
  return text;
}

bool IsDigits(const std::string& text) { return !text.empty() && text[0] >= '0' && text[0] <= '9'; }

bool IsLocalName(const std::string& text) { return text.compare(0, 5, "Local") == 0 && text.size() >= 5; }

bool IsIdentifier(const std::string& text) {
  if (text.empty()) return false;
  char c = text[0];
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

std::string KeySuffix(const std::string& key) {
  if (IsDigits(key) || IsLocalName(key)) return "[" + key + "]";
  if (IsIdentifier(key)) return "." + key;
  return "[\"" + key + "\"]";
}

}  // namespace vld
