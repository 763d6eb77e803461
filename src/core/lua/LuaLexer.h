#pragma once

#include <string>
#include <string_view>

#include "core/common/Errors.h"

namespace vld {

// A refusal of the script compiler: where it happened and near which token.
class ELuaCompileError : public VldError {
 public:
  ELuaCompileError(std::string file, int line, std::string message, std::string token);

  const std::string& File() const { return FFile; }
  int Line() const { return FLine; }
  const std::string& Message() const { return FMessage; }
  const std::string& Token() const { return FToken; }

 private:
  std::string FFile;
  int FLine;
  std::string FMessage;
  std::string FToken;
};

enum class TLuaTok {
  Eos,
  Name,
  String,
  Number,
  Char,  // any other single character; see TLuaToken::Ch
  // reserved words
  And,
  Do,
  Else,
  Elseif,
  End,
  Function,
  If,
  Local,
  Nil,
  Not,
  Or,
  Repeat,
  Return,
  Then,
  Until,
  While,
  // two- and three-character symbols
  Eq,
  Ne,
  Le,
  Ge,
  Conc,
  Dots,
};

struct TLuaToken {
  TLuaTok Kind = TLuaTok::Eos;
  int Ch = 0;          // Char: the character
  std::string Text;    // Name, String: the value (a string is cut at a zero byte)
  double Number = 0;   // Number: as read, rounded to single precision when asked
  int Line = 0;        // where the token starts
  std::string Source;  // the token as written, for messages
};

// The lexer of the game's script language, with the line pragmas ($debug,
// $nodebug, $if, $ifnot, $else, $end, $endinput). Numbers are read digit by
// digit exactly as the game's compiler reads them, so that the same text
// gives the same bits.
class TLuaLexer {
 public:
  TLuaLexer(std::string_view source, std::string fileName, bool debug, bool singleFloats);

  TLuaToken Lex();
  // The line the lexer stands on (the last line a token was read from).
  int LineNumber() const { return FLine; }
  // Line information on or off, as the pragmas left it.
  bool Debug() const { return FDebug; }
  const std::string& FileName() const { return FFileName; }

  [[noreturn]] void Error(const std::string& message, const std::string& token) const;

 private:
  static constexpr int kEoz = -1;
  static constexpr int kMaxIfs = 5;  // nested $if levels

  struct TIfState {
    bool Skip = false;
    bool Condition = false;
    bool ElsePart = false;
  };

  void Next() { FCurrent = FPos < FSource.size() ? static_cast<unsigned char>(FSource[FPos++]) : kEoz; }
  void SaveAndNext() {
    FBuffer.push_back(static_cast<char>(FCurrent));
    Next();
  }
  void IncLineNumber();
  void Pragma();
  void IfSkip();
  std::string ReadPragmaName();
  TLuaToken ReadNumber(bool fraction);
  TLuaToken ReadString(int delimiter);
  TLuaToken ReadLongString();
  TLuaToken MakeString(const std::string& value);
  TLuaToken Make(TLuaTok kind);

  std::string_view FSource;
  std::string FFileName;
  std::size_t FPos = 0;
  int FCurrent = '\n';  // the first line is entered like any other, so a pragma may open the file
  int FLine = 0;
  int FTokenLine = 0;
  bool FDebug;
  bool FSingleFloats;
  int FIfLevel = 0;
  TIfState FIfs[kMaxIfs + 1];
  std::string FBuffer;  // the current token's characters as written
};

}  // namespace vld
