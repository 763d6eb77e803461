#include "core/lua/LuaLexer.h"

#include <cmath>
#include <cstdint>
#include <limits>

namespace vld {

namespace {

struct TReserved {
  std::string_view Word;
  TLuaTok Kind;
};

constexpr TReserved kReserved[] = {
    {"and", TLuaTok::And},       {"do", TLuaTok::Do},       {"else", TLuaTok::Else},
    {"elseif", TLuaTok::Elseif}, {"end", TLuaTok::End},     {"function", TLuaTok::Function},
    {"if", TLuaTok::If},         {"local", TLuaTok::Local}, {"nil", TLuaTok::Nil},
    {"not", TLuaTok::Not},       {"or", TLuaTok::Or},       {"repeat", TLuaTok::Repeat},
    {"return", TLuaTok::Return}, {"then", TLuaTok::Then},   {"until", TLuaTok::Until},
    {"while", TLuaTok::While},
};

// Character classes of the C locale: bytes above 127 are neither letters nor digits.
bool IsDigit(int c) { return c >= '0' && c <= '9'; }
bool IsAlpha(int c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsAlnum(int c) { return IsDigit(c) || IsAlpha(c); }
bool IsCntrl(int c) { return (c >= 0 && c < 32) || c == 127; }

constexpr std::size_t kMaxPragmaName = 20;
constexpr std::size_t kMaxTokenText = 40;  // of a token quoted in a message
// A chunk stores a string's length, its terminating zero included, in 16 bits.
constexpr std::size_t kMaxStringLength = 65534;

// The exponent is read into a C int; digits past its range leave it at the
// value the original's conversion gives, INT_MIN, which scales nothing.
int AddExponentDigit(int e, int digit) {
  const double v = 10.0 * e + digit;
  if (v >= 2147483648.0 || v < -2147483648.0) return std::numeric_limits<int>::min();
  return static_cast<int>(v);
}

// A double rounded to the nearest single, overflowing to infinity as the
// hardware does (a plain cast is undefined past the single's range).
double RoundToSingle(double a) {
  const double limit = 340282356779733661637539395458142568448.0;  // 2^128 - 2^103: rounds up to 2^128
  if (std::isnan(a)) return a;
  if (a >= limit) return std::numeric_limits<double>::infinity();
  if (a <= -limit) return -std::numeric_limits<double>::infinity();
  return static_cast<double>(static_cast<float>(a));
}

}  // namespace

ELuaCompileError::ELuaCompileError(std::string file, int line, std::string message, std::string token)
    : VldError(file + ":" + std::to_string(line) + ": " + message + " near '" + token + "'"),
      FFile(std::move(file)),
      FLine(line),
      FMessage(std::move(message)),
      FToken(std::move(token)) {}

TLuaLexer::TLuaLexer(std::string_view source, std::string fileName, bool debug, bool singleFloats)
    : FSource(source), FFileName(std::move(fileName)), FDebug(debug), FSingleFloats(singleFloats) {}

void TLuaLexer::Error(const std::string& message, const std::string& token) const {
  std::string shown;
  for (char c : token.substr(0, kMaxTokenText)) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 32 || u == 127) {
      static const char* hex = "0123456789abcdef";
      shown += "\\x";
      shown += hex[u >> 4];
      shown += hex[u & 15];
    } else {
      shown += c;
    }
  }
  if (token.size() > kMaxTokenText) shown += "...";
  throw ELuaCompileError(FFileName, FLine, message, shown);
}

TLuaToken TLuaLexer::Make(TLuaTok kind) {
  TLuaToken t;
  t.Kind = kind;
  t.Line = FTokenLine;
  t.Source = FBuffer;
  if (kind == TLuaTok::Char && !FBuffer.empty()) t.Ch = static_cast<unsigned char>(FBuffer[0]);
  return t;
}

std::string TLuaLexer::ReadPragmaName() {
  while (FCurrent == ' ' || FCurrent == '\t' || FCurrent == '\r') Next();
  std::string name;
  while (IsAlnum(FCurrent) || FCurrent == '_') {
    if (name.size() >= kMaxPragmaName) Error("pragma too long", name);
    name.push_back(static_cast<char>(FCurrent));
    Next();
  }
  return name;
}

void TLuaLexer::IncLineNumber() {
  Next();  // the '\n'
  ++FLine;
  if (FCurrent == '$') Pragma();
}

void TLuaLexer::Pragma() {
  const bool skip = FIfs[FIfLevel].Skip;
  Next();  // the '$'
  const std::string name = ReadPragmaName();
  if (name == "debug") {
    if (!skip) FDebug = true;
  } else if (name == "nodebug") {
    if (!skip) FDebug = false;
  } else if (name == "endinput") {
    if (!skip) {
      FCurrent = kEoz;
      FPos = FSource.size();
      FIfLevel = 0;  // $endinput may stand inside an $if
    }
  } else if (name == "end") {
    if (FIfLevel == 0) Error("unmatched $end", "$end");
    --FIfLevel;
  } else if (name == "if" || name == "ifnot") {
    if (FIfLevel == kMaxIfs - 1) Error("too many nested $ifs", "$" + name);
    const std::string cond = ReadPragmaName();
    bool value;
    if (cond == "nil") {
      value = false;
    } else if (cond == "1") {
      value = true;
    } else if (!cond.empty() && (IsAlpha(static_cast<unsigned char>(cond[0])) || cond[0] == '_')) {
      value = false;  // a global of the compiler: it defines none
    } else {
      Error("invalid $if condition", cond);
    }
    if (name == "ifnot") value = !value;
    ++FIfLevel;
    FIfs[FIfLevel] = {skip || !value, value, false};
  } else if (name == "else") {
    if (FIfLevel == 0 || FIfs[FIfLevel].ElsePart) Error("unmatched $else", "$else");
    FIfs[FIfLevel].ElsePart = true;
    FIfs[FIfLevel].Skip = FIfs[FIfLevel - 1].Skip || FIfs[FIfLevel].Condition;
  } else {
    Error("unknown pragma", name);
  }
  while (FCurrent == ' ' || FCurrent == '\t' || FCurrent == '\r') Next();
  if (FCurrent == '\n')
    IncLineNumber();
  else if (FCurrent != kEoz)
    Error("invalid pragma format", name);
  IfSkip();
}

void TLuaLexer::IfSkip() {
  while (FIfs[FIfLevel].Skip) {
    if (FCurrent == '\n')
      IncLineNumber();
    else if (FCurrent == kEoz)
      Error("input ends inside a $if", "<eof>");
    else
      Next();
  }
}

TLuaToken TLuaLexer::Lex() {
  for (;;) {
    FBuffer.clear();
    FTokenLine = FLine;
    switch (FCurrent) {
      case ' ':
      case '\t':
      case '\r':
        Next();
        continue;
      case '\n':
        IncLineNumber();
        continue;
      case '-':
        SaveAndNext();
        if (FCurrent != '-') return Make(TLuaTok::Char);
        while (FCurrent != '\n' && FCurrent != kEoz) Next();
        continue;
      case '[':
        SaveAndNext();
        if (FCurrent != '[') return Make(TLuaTok::Char);
        SaveAndNext();
        return ReadLongString();
      case '=':
      case '<':
      case '>':
      case '~': {
        const int first = FCurrent;
        SaveAndNext();
        if (FCurrent != '=') return Make(TLuaTok::Char);
        SaveAndNext();
        return Make(first == '=' ? TLuaTok::Eq : first == '<' ? TLuaTok::Le : first == '>' ? TLuaTok::Ge : TLuaTok::Ne);
      }
      case '"':
      case '\'':
        return ReadString(FCurrent);
      case '.':
        SaveAndNext();
        if (FCurrent == '.') {
          SaveAndNext();
          if (FCurrent == '.') {
            SaveAndNext();
            return Make(TLuaTok::Dots);
          }
          return Make(TLuaTok::Conc);
        }
        if (!IsDigit(FCurrent)) return Make(TLuaTok::Char);
        return ReadNumber(true);
      case '0':
      case '1':
      case '2':
      case '3':
      case '4':
      case '5':
      case '6':
      case '7':
      case '8':
      case '9':
        return ReadNumber(false);
      case kEoz:
        if (FIfLevel > 0) Error("input ends inside a $if", "<eof>");
        {
          TLuaToken t = Make(TLuaTok::Eos);
          t.Source = "<eof>";
          return t;
        }
      default: {
        if (FCurrent != '_' && !IsAlpha(FCurrent)) {
          const int c = FCurrent;
          if (IsCntrl(c)) Error("invalid control char", std::string(1, static_cast<char>(c)));
          SaveAndNext();
          return Make(TLuaTok::Char);
        }
        do SaveAndNext();
        while (IsAlnum(FCurrent) || FCurrent == '_');
        for (const TReserved& r : kReserved)
          if (FBuffer.size() == r.Word.size() && FBuffer[0] == r.Word[0] && FBuffer == r.Word) return Make(r.Kind);
        if (FBuffer.size() > kMaxStringLength) Error("name too long (at most 65534 bytes)", FBuffer);
        TLuaToken t = Make(TLuaTok::Name);
        t.Text = FBuffer;
        return t;
      }
    }
  }
}

// A string's value ends at its first zero byte, as the game's compiler keeps it.
TLuaToken TLuaLexer::MakeString(const std::string& value) {
  TLuaToken t = Make(TLuaTok::String);
  t.Text = value.substr(0, value.find('\0'));
  if (t.Text.size() > kMaxStringLength) Error("string too long (at most 65534 bytes)", FBuffer);
  return t;
}

TLuaToken TLuaLexer::ReadNumber(bool fraction) {
  // The game's compiler reads digit by digit into a double; the result is not
  // always the nearest double, and must not be, to give the same constants.
  double a = 0.0;
  if (!fraction) {
    do {
      a = 10.0 * a + (FCurrent - '0');
      SaveAndNext();
    } while (IsDigit(FCurrent));
    if (FCurrent == '.') {
      SaveAndNext();
      if (FCurrent == '.') Error("ambiguous syntax (decimal point x string concatenation)", FBuffer + ".");
    }
  }
  double da = 0.1;
  while (IsDigit(FCurrent)) {
    a += (FCurrent - '0') * da;
    da /= 10.0;
    SaveAndNext();
  }
  if (FCurrent == 'e' || FCurrent == 'E') {
    SaveAndNext();
    const bool negative = FCurrent == '-';
    if (FCurrent == '+' || FCurrent == '-') SaveAndNext();
    if (!IsDigit(FCurrent)) Error("invalid numeral format", FBuffer);
    int e = 0;
    do {
      e = AddExponentDigit(e, FCurrent - '0');
      SaveAndNext();
    } while (IsDigit(FCurrent));
    for (double ea = negative ? 0.1 : 10.0; e > 0; e >>= 1) {
      if (e & 1) a *= ea;
      ea *= ea;
    }
  }
  TLuaToken t = Make(TLuaTok::Number);
  t.Number = FSingleFloats ? RoundToSingle(a) : a;
  return t;
}

TLuaToken TLuaLexer::ReadString(int delimiter) {
  SaveAndNext();
  std::string value;
  while (FCurrent != delimiter) {
    switch (FCurrent) {
      case kEoz:
      case '\n':
        Error("unfinished string", FBuffer);
      case '\\':
        FBuffer.push_back('\\');
        Next();
        switch (FCurrent) {
          case 'n':
            value.push_back('\n');
            SaveAndNext();
            break;
          case 't':
            value.push_back('\t');
            SaveAndNext();
            break;
          case 'r':
            value.push_back('\r');
            SaveAndNext();
            break;
          case '\n':
            value.push_back('\n');
            FBuffer.push_back('\n');
            IncLineNumber();
            break;
          case kEoz:
            Error("unfinished string", FBuffer);
          default:
            value.push_back(static_cast<char>(FCurrent));
            SaveAndNext();
            break;
        }
        break;
      default:
        value.push_back(static_cast<char>(FCurrent));
        SaveAndNext();
    }
  }
  SaveAndNext();  // the closing delimiter
  return MakeString(value);
}

TLuaToken TLuaLexer::ReadLongString() {
  int nesting = 0;
  for (;;) {
    switch (FCurrent) {
      case kEoz:
        Error("unfinished long string", FBuffer);
      case '[':
        SaveAndNext();
        if (FCurrent == '[') {
          ++nesting;
          SaveAndNext();
        }
        continue;
      case ']':
        SaveAndNext();
        if (FCurrent == ']') {
          if (nesting == 0) {
            SaveAndNext();
            return MakeString(FBuffer.substr(2, FBuffer.size() - 4));
          }
          --nesting;
          SaveAndNext();
        }
        continue;
      case '\n':
        FBuffer.push_back('\n');
        IncLineNumber();
        continue;
      default:
        SaveAndNext();
    }
  }
}

}  // namespace vld
