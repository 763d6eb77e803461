#include "core/browser/Import.h"

#include <exception>

#include "core/audio/AifAudio.h"
#include "core/audio/WaveFile.h"
#include "core/audio/WvcEncoder.h"
#include "core/browser/Formats.h"
#include "core/bundle/LabReader.h"
#include "core/common/ByteReader.h"
#include "core/common/Errors.h"
#include "core/images/GzipEntry.h"
#include "core/images/ImageEncode.h"
#include "core/images/TGAImage.h"
#include "core/lua/LuaCompiler.h"
#include "core/lua/LuaDump.h"
#include "core/lua/LuaOpcodes.h"

namespace vld {

namespace {

bool StartsWith(ByteSpan bytes, std::string_view text) {
  return bytes.size() >= text.size() && std::equal(text.begin(), text.end(), bytes.begin());
}

bool EndsWithFolded(std::string_view name, std::string_view tail) {
  const std::string folded = FoldLower(name);
  return folded.size() >= tail.size() && folded.compare(folded.size() - tail.size(), tail.size(), tail) == 0;
}

const char* SourceText(ImportSource source) {
  switch (source) {
    case ImportSource::Picture:
      return "a picture";
    case ImportSource::Wave:
      return "a WAV sound";
    case ImportSource::LuaSource:
      return "Lua source";
    default:
      return "this file";
  }
}

std::string TgaFlavour(ByteSpan like) {
  const bool compressed = IsGzipMember(like);
  const Bytes inflated = compressed ? InflateGzipEntry(like) : Bytes();
  const TTgaHeader h = ReadTgaHeader(compressed ? ByteSpan(inflated) : like);
  return "TGA image, " + std::to_string(h.depth) + " bits" + (h.imageType == kTgaTypeRunLength ? ", run-length" : "") +
         ((h.descriptor & kTgaFlipBit) ? ", rows bottom-up" : "") + (compressed ? ", gzip member" : "");
}

TImported Made(Bytes data, std::string made) {
  TImported result;
  result.data = std::move(data);
  result.made = std::move(made);
  return result;
}

TImported CompileLike(ByteSpan source, std::string_view sourceName, ByteSpan like) {
  const TLuaCompiled compiled = CompileLua(AsString(source), ScriptOptionsOf(like, sourceName));
  if (compiled.Failed) {
    TImported refused;
    refused.refusal = "The script does not compile. " + compiled.Error.Text();
    refused.line = compiled.Error.Line;
    return refused;
  }
  return Made(compiled.Chunk, "compiled script");
}

TImported Import(ByteSpan source, std::string_view sourceName, ImportSource kind, ByteSpan like,
                 std::string_view likeName) {
  const TFormat* format = FormatForAction(likeName);
  // The type the entry is shown as decides what it is made into.
  const std::string_view action = format && format->contains ? format->contains : "";
  const std::string typeText = format ? format->typeText : "unknown";
  auto mismatch = [&]() -> TImported {
    throw VldError(std::string(SourceText(kind)) + " cannot become an entry of type \"" + typeText +
                   "\". Pictures become tile and TGA entries, WAV sounds WVC and AIF entries, Lua source scripts.");
  };
  switch (kind) {
    case ImportSource::Picture:
      if (action == ".til") return Made(EncodeTileEntry(ReadPictureFile(source), like), "tile entry");
      if (action == ".tga") {
        if (like.empty()) throw VldError("A TGA entry is made in the flavour of the entry it replaces; there is none.");
        return Made(EncodeTGAEntry(ReadPictureFile(source), like), TgaFlavour(like));
      }
      return mismatch();
    case ImportSource::Wave: {
      const TWaveSound sound = ReadWaveFile(source);
      if (action == ".wvc") return Made(EncodeWvcLike(WaveToPcm16(sound), like), "WVC voice");
      if (action == ".aif") return Made(EncodeAifLike(sound, like), "AIF sound");
      return mismatch();
    }
    case ImportSource::LuaSource:
      if (action != ".lua") return mismatch();
      return CompileLike(source, sourceName, like);
    case ImportSource::Raw:
      if (action == ".tab") return Made(Bytes(source.begin(), source.end()), "text table");
      throw VldError(
          "This file is neither a PNG or BMP picture, a WAV sound nor Lua source, so it cannot be "
          "imported as an entry of type \"" +
          typeText + "\"; put it in as it is instead (vldtool: --raw).");
  }
  return mismatch();
}

// A chunk compiled with information on starts its main function with a line
// instruction and keeps a locals list; one compiled without has neither.
bool HasDebugInfo(const TLuaFunction& main) {
  if (!main.Locals.empty()) return true;
  for (int pc = 2; pc < main.CodeSize;) {
    const TLuaInstruction in = DecodeLuaInstruction(main.Code, main.CodeSize, pc);
    if (in.Group && in.Group->Kind == TLuaOpKind::SetLine) return true;
    pc = in.End();
  }
  return false;
}

}  // namespace

TLuaCompileOptions ScriptOptionsOf(ByteSpan chunk, std::string_view sourceName) {
  TLuaCompileOptions options;
  options.SourceName = std::string(sourceName);
  if (chunk.size() < 6 || !StartsWith(chunk, "\x1bLua") || (chunk[5] != 4 && chunk[5] != 8)) return options;
  options.FloatSize = chunk[5];
  // Stored most significant byte first, the test number starts with its
  // exponent's high byte (0x17 for 4 bytes, 0x3A for 8).
  ByteReader r(chunk, "compiled script it replaces");
  try {
    r.Seek(6);
    const std::uint8_t first = r.U8();
    options.MsbFirst = first == 0x17 || first == 0x3A;
    r.Seek(6 + static_cast<std::size_t>(options.FloatSize) + 2);  // the main function's line
    const std::size_t length = r.U16BE();
    std::string name;
    for (std::uint8_t c : r.Take(length)) {
      if ((c ^ kLuaStringMask) == 0) break;
      name += static_cast<char>(c ^ kLuaStringMask);
    }
    options.SourceName = name;
  } catch (const VldError&) {
    // A chunk cut short keeps the defaults for what it lacks.
    return options;
  }
  try {
    options.DebugInfo = HasDebugInfo(TLuaFile(Bytes(chunk.begin(), chunk.end()), options.SourceName).Main());
  } catch (const std::exception&) {
    // A chunk the loader refuses: compiled with information, as by default.
  }
  return options;
}

ImportSource ClassifyImportSource(std::string_view fileName, ByteSpan bytes) {
  if (LooksLikePicture(bytes)) return ImportSource::Picture;
  if (StartsWith(bytes, "RIFF") && bytes.size() >= 12 && StartsWith(bytes.subspan(8), "WAVE"))
    return ImportSource::Wave;
  // A compiled chunk starts with the escape character and "Lua".
  if (EndsWithFolded(fileName, ".lua") && !StartsWith(bytes, "\x1bLua")) return ImportSource::LuaSource;
  return ImportSource::Raw;
}

TImported ImportEntry(ByteSpan source, std::string_view sourceName, ByteSpan like, std::string_view likeName) {
  try {
    return Import(source, sourceName, ClassifyImportSource(sourceName, source), like, likeName);
  } catch (const std::exception& e) {
    TImported refused;
    refused.refusal = e.what();
    return refused;
  }
}

}  // namespace vld
