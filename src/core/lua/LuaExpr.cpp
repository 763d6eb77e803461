#include "core/lua/LuaExpr.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace vld {

namespace {

constexpr int kAtomPrecedence = 8;
constexpr int kUnaryPrecedence = 6;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsNameStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }

int PrecedenceOf(const TLuaExpr& e) {
  switch (e.Kind) {
    case TLuaExprKind::Binary:
    case TLuaExprKind::Unary:
      return LuaPrecedence(e.Op);
    case TLuaExprKind::Number:
      return e.Num < 0 || std::signbit(e.Num) ? kUnaryPrecedence : kAtomPrecedence;
    default:
      return kAtomPrecedence;
  }
}

// Reads and indexes can only follow names, indexes and calls.
bool IsPrefixExpr(const TLuaExpr& e) {
  switch (e.Kind) {
    case TLuaExprKind::Global:
    case TLuaExprKind::Local:
    case TLuaExprKind::Upvalue:
    case TLuaExprKind::Index:
    case TLuaExprKind::Call:
      return true;
    default:
      return false;
  }
}

std::string Printf(const char* format, int precision, double value) {
  char buf[512];
  int n = std::snprintf(buf, sizeof buf, format, precision, value);
  return n > 0 && n < static_cast<int>(sizeof buf) ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
}

// snprintf's "e+05" exponent without the padding zero, so that texts stay short.
std::string TidyExponent(std::string text) {
  std::size_t e = text.find('e');
  if (e == std::string::npos) return text;
  std::string mantissa = text.substr(0, e);
  std::string exponent = text.substr(e + 1);
  bool negative = !exponent.empty() && exponent[0] == '-';
  if (!exponent.empty() && (exponent[0] == '+' || exponent[0] == '-')) exponent.erase(0, 1);
  while (exponent.size() > 1 && exponent[0] == '0') exponent.erase(0, 1);
  return mantissa + (negative ? "e-" : "e") + exponent;
}

}  // namespace

TLuaExprPtr MakeLuaExpr(TLuaExpr e) { return std::make_shared<const TLuaExpr>(std::move(e)); }

int LuaPrecedence(TLuaOperator op) {
  switch (op) {
    case TLuaOperator::And:
    case TLuaOperator::Or:
      return 1;
    case TLuaOperator::Eq:
    case TLuaOperator::Ne:
    case TLuaOperator::Lt:
    case TLuaOperator::Le:
    case TLuaOperator::Gt:
    case TLuaOperator::Ge:
      return 2;
    case TLuaOperator::Concat:
      return 3;
    case TLuaOperator::Add:
    case TLuaOperator::Sub:
      return 4;
    case TLuaOperator::Mul:
    case TLuaOperator::Div:
      return 5;
    case TLuaOperator::Minus:
    case TLuaOperator::Not:
      return kUnaryPrecedence;
    case TLuaOperator::Pow:
      return 7;
  }
  return kAtomPrecedence;
}

const char* LuaOperatorText(TLuaOperator op) {
  static const char* const kTexts[] = {"==", "~=", "<", "<=", ">",   ">",  "+", "-",
                                       "*",  "/",  "^", "..", "and", "or", "-", "not"};
  if (op == TLuaOperator::Ge) return ">=";
  return kTexts[static_cast<int>(op)];
}

std::string LuaQuote(const std::string& bytes) {
  std::string out = "\"";
  out.reserve(bytes.size() + 2);
  for (char c : bytes) {
    switch (c) {
      case '\n':
        out += "\\n";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\r':
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

bool IsLuaName(const std::string& text) {
  static const char* const kReserved[] = {"and", "do",  "else", "elseif", "end",    "function", "if",    "local",
                                          "nil", "not", "or",   "repeat", "return", "then",     "until", "while"};
  if (text.empty() || !IsNameStart(text[0])) return false;
  for (char c : text)
    if (!IsNameStart(c) && !IsDigit(c)) return false;
  for (const char* word : kReserved)
    if (text == word) return false;
  return true;
}

bool ReadLuaNumber(const std::string& text, int floatSize, double& value) {
  std::size_t i = 0;
  double a = 0;
  bool digits = false;
  while (i < text.size() && IsDigit(text[i])) {
    a = 10 * a + (text[i++] - '0');
    digits = true;
  }
  if (i < text.size() && text[i] == '.') {
    ++i;
    double da = 0.1;
    while (i < text.size() && IsDigit(text[i])) {
      a += (text[i++] - '0') * da;
      da /= 10;
      digits = true;
    }
  }
  if (!digits) return false;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i >= text.size() || !IsDigit(text[i])) return false;
    long long e = 0;
    while (i < text.size() && IsDigit(text[i])) {
      e = std::min<long long>(e * 10 + (text[i++] - '0'), 1'000'000);
    }
    double ea = negative ? 0.1 : 10;
    while (e > 0) {
      if (e & 1) a *= ea;
      ea *= ea;
      e >>= 1;
    }
  }
  if (i != text.size()) return false;
  value = floatSize == 4 ? static_cast<double>(static_cast<float>(a)) : a;
  return true;
}

std::string LuaNumberText(double value, int floatSize) {
  if (std::isnan(value)) return {};
  if (std::signbit(value)) {
    std::string text = LuaNumberText(-value, floatSize);
    return text.empty() ? text : "-" + text;
  }
  if (std::isinf(value)) return "1e999";
  auto same = [&](const std::string& text) {
    double back = 0;
    return ReadLuaNumber(text, floatSize, back) && std::memcmp(&back, &value, sizeof back) == 0;
  };
  if (value == std::floor(value) && value < 1e15) {
    std::string text = Printf("%.*f", 0, value);
    if (same(text)) return text;
  }
  // The loop is not correctly rounded: try the usual precisions, then the
  // digit strings next to them, in plain and in exponent layout.
  for (int precision = 1; precision <= 20; ++precision) {
    std::string g = TidyExponent(Printf("%.*g", precision, value));
    if (same(g)) return g;
    std::string e = Printf("%.*e", precision - 1, value);
    std::size_t ePos = e.find('e');
    std::string digits = e.substr(0, 1) + (precision > 1 ? e.substr(2, ePos - 2) : std::string());
    int exponent = std::atoi(e.c_str() + ePos + 1);
    for (int delta : {0, 1, -1}) {
      std::string d = digits;
      // Next and previous digit strings of the same length.
      if (delta != 0) {
        int k = static_cast<int>(d.size()) - 1;
        while (k >= 0) {
          if (delta > 0 && d[static_cast<std::size_t>(k)] == '9') {
            d[static_cast<std::size_t>(k--)] = '0';
          } else if (delta < 0 && d[static_cast<std::size_t>(k)] == '0') {
            d[static_cast<std::size_t>(k--)] = '9';
          } else {
            d[static_cast<std::size_t>(k)] = static_cast<char>(d[static_cast<std::size_t>(k)] + delta);
            break;
          }
        }
        if (k < 0 || d[0] == '0') continue;
      }
      std::string mantissa = d.size() > 1 ? d.substr(0, 1) + "." + d.substr(1) : d;
      std::string candidates[] = {
          mantissa + "e" + std::to_string(exponent),
          d + "e" + std::to_string(exponent - static_cast<int>(d.size()) + 1),
      };
      for (const std::string& c : candidates)
        if (same(c)) return c;
      if (exponent < 0 && exponent > -40) {
        std::string fixed = "0." + std::string(static_cast<std::size_t>(-exponent - 1), '0') + d;
        if (same(fixed)) return fixed;
      }
    }
  }
  return {};
}

std::string TLuaExprPrinter::Operand(const TLuaExpr& e, int level, int parentPrecedence, bool needEqual) {
  std::string text = Print(e, level);
  int p = PrecedenceOf(e);
  return p < parentPrecedence || (needEqual && p == parentPrecedence) ? "(" + text + ")" : text;
}

std::string TLuaExprPrinter::Prefix(const TLuaExpr& e, int level) {
  std::string text = Print(e, level);
  return IsPrefixExpr(e) ? text : "(" + text + ")";
}

std::string TLuaExprPrinter::Print(const TLuaExpr& e, int level) {
  switch (e.Kind) {
    case TLuaExprKind::Nil:
      return "nil";
    case TLuaExprKind::Number:
      return LuaNumberText(e.Num, e.FloatSize);
    case TLuaExprKind::String:
      return LuaQuote(e.Name);
    case TLuaExprKind::Global:
    case TLuaExprKind::Local:
      return e.Name;
    case TLuaExprKind::Upvalue:
      return "%" + e.Name;
    case TLuaExprKind::Index: {
      const TLuaExpr& key = *e.Sub[1];
      if (e.Dotted && key.Kind == TLuaExprKind::String && IsLuaName(key.Name))
        return Prefix(*e.Sub[0], level) + "." + key.Name;
      return Prefix(*e.Sub[0], level) + "[" + Print(key, level) + "]";
    }
    case TLuaExprKind::Method:
      return Prefix(*e.Sub[0], level) + ":" + e.Name;
    case TLuaExprKind::Call: {
      std::string text = e.Sub[0]->Kind == TLuaExprKind::Method ? Print(*e.Sub[0], level) : Prefix(*e.Sub[0], level);
      text += "(";
      for (std::size_t i = 1; i < e.Sub.size(); ++i) {
        if (i > 1) text += ",";
        text += Print(*e.Sub[i], level);
      }
      return text + ")";
    }
    case TLuaExprKind::Binary: {
      int p = LuaPrecedence(e.Op);
      bool rightAssoc = e.Op == TLuaOperator::Pow;
      std::string left = Operand(*e.Sub[0], level, p, rightAssoc);
      std::string right = Operand(*e.Sub[1], level, p, !rightAssoc);
      if (e.Op == TLuaOperator::Pow) return left + "^" + right;
      return left + " " + LuaOperatorText(e.Op) + " " + right;
    }
    case TLuaExprKind::Unary: {
      const TLuaExpr& operand = *e.Sub[0];
      bool paren = operand.Kind == TLuaExprKind::Binary && operand.Op != TLuaOperator::Pow;
      std::string text = Print(operand, level);
      if (paren) text = "(" + text + ")";
      if (e.Op == TLuaOperator::Not) return "not " + text;
      // "--" would start a comment.
      return text[0] == '-' ? "- " + text : "-" + text;
    }
    case TLuaExprKind::Function:
      return PrintFunction(e, level);
    case TLuaExprKind::Table: {
      std::string items;
      for (std::size_t i = 0; i < e.Sub.size(); ++i) items += (i ? ", " : "") + Print(*e.Sub[i], level);
      std::string pairs;
      for (std::size_t i = 0; i < e.Pairs.size(); ++i) {
        const TLuaExpr& key = *e.Pairs[i].first;
        std::string k =
            key.Kind == TLuaExprKind::String && IsLuaName(key.Name) ? key.Name : "[" + Print(key, level) + "]";
        pairs += (i ? ", " : "") + k + "=" + Print(*e.Pairs[i].second, level);
      }
      if (items.empty() || pairs.empty()) return "{" + items + pairs + "}";
      return e.RecordsFirst ? "{" + pairs + "; " + items + "}" : "{" + items + "; " + pairs + "}";
    }
  }
  return "nil";
}

}  // namespace vld
