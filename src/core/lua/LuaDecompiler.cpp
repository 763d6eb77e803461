#include "core/lua/LuaDecompiler.h"

#include <algorithm>

#include "core/lua/LuaListing.h"

namespace vld {

namespace {

constexpr int kVarArgFlag = 64;  // parameter byte 64 + n: n fixed parameters, then `arg`

std::string Join(const std::vector<std::string>& parts, const char* separator) {
  std::string out;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i) out += separator;
    out += parts[i];
  }
  return out;
}

std::string Trim(const std::string& text) {
  std::size_t b = text.find_first_not_of(' ');
  if (b == std::string::npos) return {};
  std::size_t e = text.find_last_not_of(' ');
  return text.substr(b, e - b + 1);
}

// Counts one block level for as long as the block is being decompiled.
class TDepthGuard {
 public:
  explicit TDepthGuard(int& depth) : FDepth(depth) {
    if (++FDepth > kMaxLuaBlockDepth) {
      --FDepth;
      throw ELuaException(
          LuaFormat("Decompiling stopped: code blocks are nested more than %d deep.", kMaxLuaBlockDepth));
    }
  }
  ~TDepthGuard() { --FDepth; }
  TDepthGuard(const TDepthGuard&) = delete;
  TDepthGuard& operator=(const TDepthGuard&) = delete;

 private:
  int& FDepth;
};

}  // namespace

std::string JoinLuaLines(const TLuaLines& lines) {
  std::size_t size = 0;
  for (const TLuaLine& line : lines) size += line.Text.size() + 2;
  std::string out;
  out.reserve(size);
  for (const TLuaLine& line : lines) {
    out += line.Text;
    out += "\r\n";
  }
  return out;
}

void TLuaDecompileContext::Step(std::int64_t n) {
  Steps += n;
  if (Steps > kMaxLuaDecompileSteps)
    throw ELuaException(LuaFormat("Decompiling stopped: the script needs more than %lld decoding steps.",
                                  static_cast<long long>(kMaxLuaDecompileSteps)));
}

void TLuaDecompileContext::Produced(std::size_t bytes) {
  TextBytes += static_cast<std::int64_t>(bytes);
  if (TextBytes > kMaxLuaDecompileText)
    throw ELuaException(LuaFormat("Decompiling stopped: the source text would exceed %lld bytes.",
                                  static_cast<long long>(kMaxLuaDecompileText)));
}

TLuaDecompiler::TLuaDecompiler(const TLuaFunction& f, LogFn debugLog)
    : FOwnContext(std::make_unique<TLuaDecompileContext>(TLuaDecompileContext{std::move(debugLog)})),
      FContext(*FOwnContext),
      FFunc(f),
      FStack(FContext.Log) {
  ReadCodeHeader();
}

TLuaDecompiler::TLuaDecompiler(const TLuaFunction& f, TLuaDecompileContext& context, int level, bool isMethod)
    : FContext(context), FFunc(f), FStack(context.Log) {
  ReadCodeHeader();
  FLevel = level;
  FIsMethod = isMethod;
}

TLuaDecompiler::~TLuaDecompiler() = default;

void TLuaDecompiler::ReadCodeHeader() {
  FCodeSize = FFunc.CodeSize;
  FCursor = 0;
  FMaxStack = NextByte();
  int params = NextByte();
  FVarArg = params >= kVarArgFlag;
  FFixedParams = FVarArg ? params - kVarArgFlag : params;
  FNumParams = FVarArg ? FFixedParams + 1 : params;
}

std::uint8_t TLuaDecompiler::CodeAt(int offset) const {
  if (offset < 0 || offset >= FCodeSize || static_cast<std::size_t>(offset) >= FFunc.Code.size()) return 0;
  return FFunc.Code[offset];
}

std::uint8_t TLuaDecompiler::NextByte() { return CodeAt(FCursor++); }

std::uint16_t TLuaDecompiler::NextWord() {
  std::uint8_t lo = NextByte();
  return static_cast<std::uint16_t>(lo | (NextByte() << 8));
}

void TLuaDecompiler::Log(const std::string& line) const {
  if (FContext.Log) FContext.Log(line);
}

std::string TLuaDecompiler::VarName(int slot) const {
  if (slot < FFixedParams) return FIsMethod && slot == 0 ? "self" : LuaFormat("Arg%d", slot);
  if (FVarArg && slot == FFixedParams) return "arg";
  return LuaFormat("Local%d", slot - FNumParams);
}

TLuaLine& TLuaDecompiler::AddLine(const std::string& text, TLuaLineKind kind) {
  TLuaLine line;
  line.Text = LuaIndent(FLevel) + text;
  line.Tag = FCursor;
  line.Kind = kind;
  FContext.Produced(line.Text.size());
  Log(text);
  FLines->push_back(std::move(line));
  return FLines->back();
}

void TLuaDecompiler::AppendLines(TLuaLines& lines) {
  FContext.Step(static_cast<std::int64_t>(lines.size()));
  for (TLuaLine& line : lines) FLines->push_back(std::move(line));
  lines.clear();
}

void TLuaDecompiler::Indent(std::size_t from, std::size_t to) {
  TLuaLines& lines = *FLines;
  for (std::size_t i = from; i < to && i < lines.size(); ++i) {
    lines[i].Text.insert(0, "  ");
    FContext.Produced(lines[i].Text.size());
  }
}

void TLuaDecompiler::Outdent(std::size_t from) {
  TLuaLines& lines = *FLines;
  for (std::size_t i = from; i < lines.size(); ++i) {
    std::string& text = lines[i].Text;
    std::size_t n = 0;
    while (n < 2 && n < text.size() && text[n] == ' ') ++n;
    text.erase(0, n);
    FContext.Produced(text.size());
  }
}

std::string TLuaDecompiler::RenderFunction(const TLuaFunction* f) {
  if (!f) return "<missing function>";
  TLuaDecompiler nested(*f, FContext, FLevel + 1, FTableStore);
  std::string text = JoinLuaLines(nested.Decompile());
  FContext.Produced(text.size());
  return text;
}

std::string TLuaDecompiler::ConstText(int k) {
  if (!HasConst(k)) return LuaFormat("<bad>(var%d)", k);
  return Text(FFunc.Consts[k]);
}

void TLuaDecompiler::PushText(std::string text) {
  FContext.Produced(text.size());
  FStack.PushText(std::move(text));
}

void TLuaDecompiler::PushConstant(int k) {
  if (!HasConst(k)) return PushText(LuaFormat("<bad>(var%d)", k));
  const TLuaValue& v = FFunc.Consts[k];
  if (v.Kind == kLuaText) return PushText(QuoteString(v.Text));
  FStack.Push(v);
}

void TLuaDecompiler::PushGlobal(int k) {
  if (!HasConst(k)) return PushText(LuaFormat("<bad>(var%d)", k));
  FStack.Push(FFunc.Consts[k]);
}

TLuaLines TLuaDecompiler::Decompile() {
  std::vector<std::string> params;
  for (int i = 0; i < FFixedParams; ++i) params.push_back(FIsMethod && i == 0 ? "self" : LuaFormat("Arg%d", i));
  if (FVarArg) params.push_back("...");
  TLuaLines result;
  TLuaLine header;
  header.Text =
      "function(" + Join(params, ", ") + ")" +
      LuaFormat(" -- defined at %s:%d, code %d, stack %d", FFunc.Source.c_str(), FFunc.Line, FCodeSize, FMaxStack);
  FContext.Produced(header.Text.size());
  result.push_back(std::move(header));
  ++FLevel;
  TLuaLines body = DecompileBlock(2, FCodeSize);
  FContext.Step(static_cast<std::int64_t>(body.size()));
  for (TLuaLine& line : body) result.push_back(std::move(line));
  return result;
}

TLuaLines TLuaDecompiler::DecompileBlock(int start, int end) {
  TDepthGuard depth(FContext.Depth);
  if (Logging()) Log(LuaFormat("DecompileBlock(%X,%X)", start, end));
  TLuaLines lines;
  TLuaLines* outerLines = FLines;
  bool outerTableStore = FTableStore;
  FLines = &lines;
  FTableStore = false;
  FCursor = start;
  // Nothing lies beyond the code: a block that claims to run further ends with it.
  const int stop = std::min(end, FCodeSize);
  while (FCursor < stop) {
    FContext.Step();
    int opOffset = FCursor;
    std::uint8_t op = NextByte();
    if (Logging()) Log(LuaFormat("position %X opcode %02X", opOffset, op));
    Handle(op, opOffset);
  }
  if (Logging()) Log(LuaFormat("Leaving DecompileBlock(%X,%X)", start, end));
  FLines = outerLines;
  FTableStore = outerTableStore;
  return lines;
}

void TLuaDecompiler::Handle(std::uint8_t op, int opOffset) {
  switch (op) {
    case 0:
      --FLevel;
      AddLine("end");
      break;
    case 1:
      for (int i = NextByte(); i >= 0; --i) FStack.PushNil();
      break;
    case 2:
      FStack.PushNil();
      break;
    case 3:
      FStack.PushNumber(NextByte());
      break;
    case 4:
    case 5:
    case 6:
      FStack.PushNumber(op - 4);
      break;
    case 7:
      FStack.PushNumber(NextWord());
      break;
    case 8:
      PushConstant(NextByte());
      break;
    case 17:
      PushConstant(NextWord());
      break;
    case 18:
      PushText(LuaFormat("Upvalue%d", NextByte()));
      break;
    case 19:
    case 20:
      PushText(LuaFormat("Upvalue%d", op - 19));
      break;
    case 21:
      PushText(VarName(NextByte()));
      break;
    case 30:
      PushGlobal(NextByte());
      break;
    case 39:
      PushGlobal(NextWord());
      break;
    case 40: {
      std::string key = KeySuffix(Unquote(PopText()));
      std::string table = PopText();
      PushText(table + key);
      break;
    }
    case 41:
    case 50: {
      int k = op == 41 ? NextByte() : NextWord();
      std::string table = PopText();
      PushText(table + "." + ConstText(k));
      break;
    }
    case 51:
    case 60: {
      int k = op == 51 ? NextByte() : NextWord();
      std::string object = PopText();
      PushText(object + ":" + ConstText(k));
      PushText(object);
      break;
    }
    case 61:
      NextByte();
      PushText("{}");
      break;
    case 62:
    case 63:
      PushText("{}");
      break;
    case 64:
      NextWord();
      PushText("{}");
      break;
    case 65: {
      std::string name = VarName(NextByte());
      AddLine(name + "=" + PopText());
      break;
    }
    case 74:
    case 83: {
      std::string name = ConstText(op == 74 ? NextByte() : NextWord());
      AddLine(name + "=" + PopText());
      break;
    }
    case kOpSetTable0: {
      FTableStore = true;
      std::string key = KeySuffix(Unquote(Text(FStack.PopAt(1))));
      std::string value = PopText();
      std::string table = PopText();
      AddLine(table + key + "=" + value);
      FTableStore = false;
      break;
    }
    case kOpSetTable: {
      int n = NextByte();
      FTableStore = true;
      std::string key = KeySuffix(Unquote(Text(FStack.PeekAt(n + 1))));
      std::string table = Text(FStack.PeekAt(n + 2));
      std::string value = Text(FStack.Peek());
      AddLine(table + key + "=" + value);
      FStack.Pop();
      FTableStore = false;
      break;
    }
    case 86:
      NextByte();
      ListStore(NextByte());
      break;
    case 87:
      ListStore(NextByte());
      break;
    case 88:
      NextWord();
      ListStore(NextByte());
      break;
    case 89:
      MapStore(NextByte());
      break;
    case 90:
      MapStore(0);
      break;
    case 103:
      PushText("-" + Paren(PopText()));
      break;
    case 104:
      PushText("not " + Paren(PopText()));
      break;
    case kOpOnTJmp:
    case kOpOnTJmpW:
      AndOr(true, op == kOpOnTJmpW);
      break;
    case kOpOnFJmp:
    case kOpOnFJmpW:
      AndOr(false, op == kOpOnFJmpW);
      break;
    case kOpJmp:
    case kOpJmpW: {
      int operandOffset = FCursor;
      int d = op == kOpJmpW ? NextWord() : NextByte();
      // The line shows the operand's offset plus d; the real target rides along.
      TLuaLine& line = AddLine(LuaFormat("jmp %.4x ", static_cast<unsigned>(operandOffset + d)), TLuaLineKind::Jump);
      line.Target = FCursor + d;
      break;
    }
    case kOpIfFJmp:
    case kOpIfFJmpW:
      If(op == kOpIfFJmpW);
      break;
    case kOpIfTUpJmp:
    case kOpIfTUpJmpW:
      BackJump(true, op == kOpIfTUpJmpW);
      break;
    case kOpIfFUpJmp:
    case kOpIfFUpJmpW:
      BackJump(false, op == kOpIfFUpJmpW);
      break;
    case 117: {
      int k = NextByte();
      Closure(k, NextByte());
      break;
    }
    case 118:
    case 119:
      Closure(op - 118, NextByte());
      break;
    case kOpCallFunc: {
      int results = NextByte();
      Call(op, results, NextByte());
      break;
    }
    case 121:
    case 122:
      Call(op, op - 121, NextByte());
      break;
    case kOpRetCode:
      Return(NextByte(), opOffset);
      break;
    case 124:
      AddLine(LuaFormat("LINE=%d", NextByte()));
      break;
    case 125:
      AddLine(LuaFormat("LINE=%d", NextWord()));
      break;
    case 126:
      for (int i = NextByte(); i >= 0 && !FStack.IsEmpty(); --i) FStack.Pop();
      break;
    case 127:
      FStack.Pop();
      break;
    case 128:
      FStack.Pop();
      FStack.Pop();
      break;
    default:
      if (op >= 9 && op <= 16) {
        PushConstant(op - 9);
      } else if (op >= 22 && op <= 29) {
        PushText(VarName(op - 22));
      } else if (op >= 31 && op <= 38) {
        PushGlobal(op - 31);
      } else if (op >= 42 && op <= 49) {
        std::string table = PopText();
        PushText(table + "." + ConstText(op - 42));
      } else if (op >= 52 && op <= 59) {
        std::string object = PopText();
        PushText(object + ":" + ConstText(op - 52));
        PushText(object);
      } else if (op >= 66 && op <= 73) {
        std::string name = VarName(op - 66);
        AddLine(name + "=" + PopText());
      } else if (op >= 75 && op <= 82) {
        std::string name = ConstText(op - 75);
        AddLine(name + "=" + PopText());
      } else if (op >= 91 && op <= 102) {
        BinaryOp(op);
      } else {
        AddLine("<bad>");
      }
      break;
  }
}

std::string TLuaDecompiler::OpenConstructor(std::size_t depth, const char* store, std::string& table) {
  table = Text(FStack.PopAt(depth));
  if ((table.empty() || table.back() != '}') && Logging()) Log(LuaFormat("Error! in %s s=\"", store) + table + "\"");
  // An empty text is taken for a fresh table.
  return table.empty() || table.size() == 2 ? "{" : table.substr(0, table.size() - 1) + "; ";
}

void TLuaDecompiler::ListStore(int n) {
  std::string t;
  std::string s = OpenConstructor(static_cast<std::size_t>(n), "setlist", t);
  if (n == 0) return PushText(t);  // nothing stored: the table stays as it was
  // Popped last item first; listed in source order.
  std::vector<std::string> items(static_cast<std::size_t>(n));
  for (int i = n - 1; i >= 0; --i) items[i] = PopText();
  PushText(s + Join(items, ", ") + "}");
}

void TLuaDecompiler::MapStore(int n) {
  int pairs = n + 1;
  std::string t;
  std::string s = OpenConstructor(2 * static_cast<std::size_t>(pairs), "setmap", t);
  std::vector<std::string> items(static_cast<std::size_t>(pairs));
  for (int i = pairs - 1; i >= 0; --i) {
    std::string value = PopText();  // a string value keeps its quotes
    std::string key = Unquote(PopText());
    items[i] = key + "=" + value;
  }
  PushText(s + Join(items, ", ") + "}");
}

void TLuaDecompiler::BinaryOp(std::uint8_t op) {
  static const char* const kOperators[] = {
      " == ", " ~= ", " < ", " <= ", " > ", " >= ", " + ", " - ", " * ", " / ", "^", " .. "};
  std::string right = PopText();
  std::string left = PopText();
  if (op >= 99 && op <= 101) {
    right = Paren(right);
    left = Paren(left);
  }
  PushText(left + kOperators[op - 91] + right);
}

void TLuaDecompiler::Closure(int k, int n) {
  std::string s = "closure(" + ConstText(k);
  // Upvalues are pushed in order; they are listed in that order too.
  std::vector<std::string> upvalues(static_cast<std::size_t>(n));
  for (int i = n - 1; i >= 0; --i) upvalues[i] = PopText();
  for (const std::string& u : upvalues) s += "," + u;
  PushText(s + ")");
}

void TLuaDecompiler::Call(std::uint8_t op, int results, int args) {
  if (args >= 1) {
    std::string f = Text(FStack.PeekAt(static_cast<std::size_t>(args)));
    std::string x = Text(FStack.PeekAt(static_cast<std::size_t>(args) - 1));
    if (f.size() > x.size() && f.compare(0, x.size(), x) == 0 && f[x.size()] == ':') {
      FStack.PopAt(static_cast<std::size_t>(args) - 1);  // obj:m(...) passes obj itself
      --args;
    }
  }
  std::vector<std::string> parts(static_cast<std::size_t>(args));
  for (int i = args - 1; i >= 0; --i) parts[i] = PopText();
  std::string call = PopText() + "(" + Join(parts, ",") + ")";
  if (op == 121) {
    AddLine(call);
  } else if (op == 122) {
    PushText(std::move(call));
  } else {
    std::string line = "Temp_1";
    for (int j = 2; j <= results; ++j) line += LuaFormat(",Temp_%d", j);
    AddLine(line + " = " + call);
    FLastCallEnd = FCursor;
    FLastCallText = call;
    for (int j = 1; j <= results; ++j) PushText(LuaFormat("Temp_%d", j));
  }
}

void TLuaDecompiler::Return(int base, int opOffset) {
  int m = static_cast<int>(FStack.Count()) + FNumParams - base;
  // "return f(...)" with every result of a call: the call's Temp line becomes the return.
  if (m >= 1 && opOffset - 3 >= 2 && CodeAt(opOffset - 3) == kOpCallFunc &&
      CodeAt(opOffset - 2) == static_cast<std::uint8_t>(m) && FLastCallEnd == opOffset && !FLines->empty() &&
      FLines->back().Tag == opOffset) {
    FLines->pop_back();
    for (int i = 0; i < m && !FStack.IsEmpty(); ++i) FStack.Pop();
    AddLine("return " + FLastCallText);
    return;
  }
  std::vector<std::string> values;
  for (; m >= 1 && !FStack.IsEmpty(); --m) values.push_back(PopText());
  std::reverse(values.begin(), values.end());
  AddLine("return " + Join(values, ","));
}

void TLuaDecompiler::AndOr(bool isOr, bool word) {
  int d = word ? NextWord() : NextByte();
  std::string left = PopText();
  int after = FCursor;
  DecompileBlock(after, after + d);  // leaves the right operand; its lines are dropped
  std::string right = PopText();
  if (isOr)
    PushText(left + " or " + right);
  else
    PushText(Paren(left) + " and " + Paren(right));
}

void TLuaDecompiler::If(bool word) {
  int id = ++FContext.IfSerial;
  TLuaLine& head = AddLine("if " + PopText() + " then", TLuaLineKind::IfHead);
  head.IfId = id;
  int d = word ? NextWord() : NextByte();
  int after = FCursor;
  ++FLevel;
  TLuaLines thenPart = DecompileBlock(after, after + d);
  if (!thenPart.empty() && thenPart.back().Kind == TLuaLineKind::Jump) {
    int target = thenPart.back().Target;
    thenPart.pop_back();
    AppendLines(thenPart);
    --FLevel;
    AddLine("else");
    std::size_t elseIndex = FLines->size() - 1;
    ++FLevel;
    TLuaLines elsePart = DecompileBlock(FCursor, target);
    // Only an else part that is one whole if statement becomes an elseif.
    bool merge = elsePart.size() >= 2 && elsePart.front().Kind == TLuaLineKind::IfHead &&
                 elsePart.back().Kind == TLuaLineKind::IfEnd && elsePart.front().IfId == elsePart.back().IfId;
    AppendLines(elsePart);
    if (merge) {
      TLuaLines& lines = *FLines;
      lines[elseIndex].Text += Trim(lines[elseIndex + 1].Text);
      FContext.Produced(lines[elseIndex].Text.size());
      lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(elseIndex) + 1);
      lines.pop_back();
      FContext.Step(static_cast<std::int64_t>(lines.size() - elseIndex));
      Outdent(elseIndex + 1);
    }
  } else {
    AppendLines(thenPart);
  }
  --FLevel;
  AddLine("end", TLuaLineKind::IfEnd).IfId = id;
}

void TLuaDecompiler::BackJump(bool isWhile, bool word) {
  int d = word ? NextWord() : NextByte();
  int target = FCursor - d;
  std::string condition = PopText();
  TLuaLines& lines = *FLines;
  // Tags grow with the code offset, apart from the tag-0 repeat lines: the
  // loop body is what follows the last line added before the target.
  std::size_t p = lines.size();
  while (p > 0 && (lines[p - 1].Tag == 0 || lines[p - 1].Tag > target)) --p;
  FContext.Step(static_cast<std::int64_t>(lines.size() - p) + 1);
  bool found = p > 0 && lines[p - 1].Tag == target;
  if (isWhile) {
    std::string head = LuaIndent(FLevel) + "while " + condition + " do";
    FContext.Produced(head.size());
    std::size_t bodyFrom = p;
    if (found && lines[p - 1].Kind == TLuaLineKind::Jump) {
      // The loop's entry jump becomes its while line.
      lines[p - 1].Text = std::move(head);
      lines[p - 1].Kind = TLuaLineKind::Plain;
    } else {
      TLuaLine line;
      line.Text = std::move(head);
      line.Tag = target;
      lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(p), std::move(line));
      ++bodyFrom;
    }
    AddLine("end");
    Indent(bodyFrom, FLines->size() - 1);
  } else {
    AddLine("until " + condition);
    Indent(p, FLines->size() - 1);
    TLuaLine line;
    line.Text = LuaIndent(FLevel) + "repeat";
    FContext.Produced(line.Text.size());
    FLines->insert(FLines->begin() + static_cast<std::ptrdiff_t>(p), std::move(line));
  }
}

}  // namespace vld
