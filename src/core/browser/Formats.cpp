#include "core/browser/Formats.h"

#include <algorithm>

#include "core/audio/AifAudio.h"
#include "core/audio/WvcAudio.h"
#include "core/bundle/BundleEdit.h"
#include "core/bundle/LabReader.h"
#include "core/common/Errors.h"
#include "core/images/KFNFont.h"
#include "core/images/PngImage.h"
#include "core/images/TGAImage.h"
#include "core/images/TileImage.h"
#include "core/lua/LuaDump.h"

namespace vld {

namespace {

TDecoded Picture(TImageFile image) {
  TDecoded d;
  d.kind = PreviewKind::Picture;
  d.picture = std::move(image);
  return d;
}

TDecoded Wave(Bytes wave) {
  TDecoded d;
  d.kind = PreviewKind::Sound;
  d.wave = std::move(wave);
  return d;
}

TDecoded TextOf(PreviewKind kind, std::string text) {
  TDecoded d;
  d.kind = kind;
  d.text = std::move(text);
  return d;
}

TDecoded DecodeBmp(const TDecodeInput& in, const TDecodeReport& r) { return Picture(LoadBMPImage(in.bytes, r.status)); }
TDecoded DecodeTil(const TDecodeInput& in, const TDecodeReport& r) {
  return Picture(DecodeTileImage(in.bytes, r.status));
}
TDecoded DecodeTga(const TDecodeInput& in, const TDecodeReport& r) {
  return Picture(DecodeTGAImage(in.bytes, r.status));
}
TDecoded DecodeKfn(const TDecodeInput& in, const TDecodeReport& r) {
  return Picture(RenderKFNImage(in.bytes, r.status));
}
TDecoded DecodeAif(const TDecodeInput& in, const TDecodeReport&) { return Wave(ConvertAifToWav(in.bytes)); }
TDecoded DecodeWvc(const TDecodeInput& in, const TDecodeReport& r) { return Wave(ConvertWvcToWav(in.bytes, r.log)); }

TDecoded DecodeTab(const TDecodeInput& in, const TDecodeReport&) {
  return TextOf(PreviewKind::Text, std::string(in.bytes.begin(), in.bytes.end()));
}

// The listing and trace lines go to the report's log.
TDecoded DecodeLua(const TDecodeInput& in, const TDecodeReport& r) {
  return TextOf(PreviewKind::Script, DumpLuaChunk(in.bytes, std::string(in.name), r.log));
}

TDecoded DecodeSur(const TDecodeInput& in, const TDecodeReport&) {
  TDecoded d;
  d.kind = PreviewKind::Surface;
  d.surface = ParseSurfaceDescription(in.bytes);
  return d;
}

using F = FormatFamily;
using P = PreviewKind;

constexpr const char* kLoadingTga = "Loading TGA image...";
constexpr const char* kLoadingKfn = "Loading KFN font...";
constexpr const char* kLoadingBmp = "Loading bitmap...";

// The type table, in its order; the dispatch order is the dispatchOrder column.
constexpr TFormat kFormats[] = {
    {".bmp", "Bitmap image", "View BMP image", true, true, false, true, 8, F::Image, P::Picture, kLoadingBmp, true,
     DecodeBmp, ".bmp"},
    {".til", "Tile", "View image", true, true, false, true, 1, F::Image, P::Picture, nullptr, true, DecodeTil, ".bmp"},
    {".tab", "Text table", "Show text", true, false, false, true, 4, F::Text, P::Text, nullptr, true, DecodeTab,
     ".txt"},
    {".aif", "Audio file", "Play AIF", true, false, true, true, 9, F::Sound, P::Sound, nullptr, true, DecodeAif,
     ".wav"},
    {".tga", "TGA image", "View TGA image", true, true, false, true, 7, F::Image, P::Picture, kLoadingTga, true,
     DecodeTga, ".bmp"},
    {".kfn", "Thrapwick font", "View font", true, true, false, true, 6, F::Image, P::Picture, kLoadingKfn, true,
     DecodeKfn, ".bmp"},
    {".sur", "Model surface description", "Play surface", true, false, false, true, 5, F::Surface, P::Surface, nullptr,
     true, DecodeSur, nullptr},
    {".bik", "[BUG ALERT - Should never be displayed!]", "Play animation", true, false, false, true, 10, F::Movie,
     P::Movie, nullptr, false, nullptr, nullptr},
    {".wvc", "Wave (voice compressed)", "Play WVC", true, false, true, true, 2, F::Sound, P::Sound, nullptr, true,
     DecodeWvc, ".wav"},
    {".anim", "Model animation", nullptr, false, false, false, true, 0, F::Model, P::None, nullptr, false, nullptr,
     nullptr},
    {".lua", "Lua script", nullptr, false, false, false, true, 3, F::Script, P::Script, nullptr, false, DecodeLua,
     ".txt"},
    {".cos", "Model costume", nullptr, false, false, false, true, 0, F::Model, P::None, nullptr, false, nullptr,
     nullptr},
    {".mesh", "Model mesh", nullptr, false, false, false, true, 0, F::Model, P::None, nullptr, false, nullptr, nullptr},
    {".spr", "Sprite", nullptr, false, false, false, true, 0, F::Model, P::None, nullptr, false, nullptr, nullptr},
    {".skl", "Model skeleton", nullptr, false, false, false, true, 0, F::Model, P::None, nullptr, false, nullptr,
     nullptr},
    {".lip", "Lip sync file", nullptr, false, false, false, true, 0, F::Model, P::None, nullptr, false, nullptr,
     nullptr},
    {nullptr, "unknown", nullptr, false, false, false, true, 0, F::None, P::None, nullptr, false, nullptr, nullptr},
};
constexpr int kFormatCount = sizeof kFormats / sizeof kFormats[0];

// Positions in kFormats, in dispatch order and in the save-as-BMP order.
struct Orders {
  int dispatch[kFormatCount] = {};
  int dispatchCount = 0;
  Orders() {
    for (int rank = 1; rank <= kFormatCount; ++rank)
      for (int i = 0; i < kFormatCount; ++i)
        if (kFormats[i].dispatchOrder == rank) dispatch[dispatchCount++] = i;
  }
};
const Orders& TheOrders() {
  static const Orders orders;
  return orders;
}

bool Contains(const std::string& folded, const TFormat& f) { return folded.find(f.contains) != std::string::npos; }

const TFormat* FirstOf(std::string_view name, std::initializer_list<const char*> exts) {
  const std::string folded = FoldLower(name);
  for (const char* ext : exts) {
    const TFormat& f = FormatOf(ext);
    if (Contains(folded, f)) return &f;
  }
  return nullptr;
}

}  // namespace

std::span<const TFormat> AllFormats() { return kFormats; }

const TFormat& FormatOf(std::string_view extension) {
  for (const TFormat& f : kFormats)
    if (f.contains && std::string_view(f.contains) == extension) return f;
  throw std::logic_error("no format for " + std::string(extension));
}

std::string TypeText(std::string_view name, bool singleBink, bool singleSmush) {
  const TFormat& f = FormatForType(name);
  if (f.family == FormatFamily::Movie) {
    if (singleBink) return "Bink animation";
    if (singleSmush) return "Smush wrapped Bink animation";
  }
  return f.typeText;
}

std::string EntryTypeText(std::string_view name) { return TypeText(name, true, false); }

const TFormat& FormatForType(std::string_view name) {
  const std::string folded = FoldLower(name);
  for (int i = 0; i < kFormatCount - 1; ++i)
    if (Contains(folded, kFormats[i])) return kFormats[i];
  return kFormats[kFormatCount - 1];
}

const TFormat* FormatForAction(std::string_view name) {
  const std::string folded = FoldLower(name);
  const Orders& o = TheOrders();
  for (int k = 0; k < o.dispatchCount; ++k)
    if (Contains(folded, kFormats[o.dispatch[k]])) return &kFormats[o.dispatch[k]];
  return nullptr;
}

const TFormat* FormatForSaveBmp(std::string_view name) { return FirstOf(name, {".til", ".tga", ".kfn", ".bmp"}); }

const TFormat* FormatForSaveWav(std::string_view name) {
  return FirstOf(NameAfterLastBackslash(name), {".wvc", ".aif"});
}

TDecoded DecodeEntry(const TFormat& format, const TDecodeInput& input, const TDecodeReport& report) {
  TDecoded refused;
  if (!format.decode) {
    refused.refusal = "Entries of type \"" + std::string(format.typeText) + "\" cannot be decoded.";
    return refused;
  }
  // Scripts report a short chunk through the loader; everything else refuses
  // an empty entry as the viewer always has.
  if (input.bytes.empty() && format.refusesEmpty) {
    refused.refusal = kEmptyEntryRefusal;
    return refused;
  }
  try {
    return format.decode(input, report);
  } catch (const std::exception& e) {
    refused.refusal = e.what();
    return refused;
  }
}

namespace {

// The converter a name gets, or nullptr: the family by the dispatch order,
// the converter inside an image or sound family by the save rules.
const TFormat* ConverterFor(std::string_view name) {
  const TFormat* f = FormatForAction(name);
  if (!f) return nullptr;
  switch (f->family) {
    case FormatFamily::Image:
      return FormatForSaveBmp(name);
    case FormatFamily::Sound:
      return FormatForSaveWav(name);
    case FormatFamily::Text:
    case FormatFamily::Script:
      return f;
    default:
      return nullptr;
  }
}

}  // namespace

bool IsConvertible(std::string_view name) { return ConverterFor(name) != nullptr; }

std::string ConvertedExtension(std::string_view name, ImageFormat images) {
  const TFormat* f = ConverterFor(name);
  if (!f) return "";
  if (f->family == FormatFamily::Image && images == ImageFormat::Png) return ".png";
  return f->convertExtension;
}

void ConvertEntryTo(std::string_view name, ByteSpan bytes, ImageFormat images, TByteSink& out) {
  const TFormat* f = ConverterFor(name);
  if (f && std::string_view(f->contains) == ".aif") {
    if (bytes.empty()) throw VldError(kEmptyEntryRefusal);
    ConvertAifToWav(bytes, out);
    return;
  }
  const TConversion c = ConvertEntryBytes(name, bytes, images);
  out.Write(c.data.data(), c.data.size());
}

void CheckConversionStart(std::string_view name, ByteSpan head, std::int64_t size) {
  const TFormat* f = ConverterFor(name);
  if (!f) throw VldError("Entries of type \"" + EntryTypeText(name) + "\" have no conversion: " + std::string(name));
  std::int64_t limit = kMaxTextTableSize;
  switch (f->family) {
    case FormatFamily::Image:
      limit = kMaxPictureInput;
      break;
    case FormatFamily::Sound:
      limit = std::string_view(f->contains) == ".wvc" ? kMaxWvcInput
                                                      : static_cast<std::int64_t>(kMaxWaveDataSize) + (1 << 20);
      break;
    case FormatFamily::Script:
      limit = kMaxLuaChunkSize;
      break;
    default:
      break;
  }
  if (size > limit)
    throw VldError(std::string(name) + " holds " + std::to_string(size) + " bytes; a " + f->typeText +
                   " of more than " + std::to_string(limit) +
                   " bytes is refused (the input is damaged or of another kind).");
  // The loader's own first check: a script starts with ESC "Lua".
  static constexpr std::uint8_t kLuaSignature[4] = {0x1B, 'L', 'u', 'a'};
  const std::size_t have = std::min<std::size_t>(head.size(), 4);
  if (f->family == FormatFamily::Script && have > 0 && !std::equal(head.begin(), head.begin() + have, kLuaSignature))
    throw VldError("Bad signature in file " + std::string(name));
}

Bytes BmpToPng(ByteSpan bmp) { return WritePNG(DecodeBMPPixels(bmp)); }

TConversion ConvertEntryBytes(std::string_view name, ByteSpan bytes, ImageFormat images) {
  const TFormat* f = ConverterFor(name);
  if (!f) throw VldError("Entries of type \"" + EntryTypeText(name) + "\" have no conversion: " + std::string(name));
  if (f->family == FormatFamily::Text) return {f->convertExtension, Bytes(bytes.begin(), bytes.end())};
  TDecoded d = DecodeEntry(*f, {bytes, name});
  if (d.Refused()) throw VldError(d.refusal);
  switch (d.kind) {
    case PreviewKind::Picture:
      if (images == ImageFormat::Png) return {".png", BmpToPng(d.picture.bmp)};
      return {f->convertExtension, std::move(d.picture.bmp)};
    case PreviewKind::Sound:
      return {f->convertExtension, std::move(d.wave)};
    default:
      return {f->convertExtension, Bytes(d.text.begin(), d.text.end())};
  }
}

FileKind IdentifyMagic(std::uint32_t magic) {
  if (magic == kMagicBIKi) return FileKind::SingleBink;
  if (magic == kMagicSMUS) return FileKind::SingleSmush;
  if (magic == kMagicLABN) return FileKind::Bundle;
  if ((magic & 0xF0FF) == 0xF0FF || magic == kMagicRIFF) return FileKind::Mp3;
  return FileKind::Other;
}

FileKind IdentifyFile(const std::filesystem::path& path) {
  return IdentifyMagic(static_cast<std::uint32_t>(ReadMagic(path)));
}

namespace {

// The entries a surface's textures are found among: a bundle as read, or as edited.
struct TSurfaceEntries {
  std::function<int(std::string_view name)> find;
  std::function<std::string_view(int index)> name;
  std::function<std::int64_t(int index)> size;
  ReadEntryFn read;
};

TSurfaceLoad LoadFrames(const TSurfaceEntries& entries, ByteSpan description, const StatusFn& status) {
  TSurfaceLoad load;
  load.list = ParseSurfaceDescription(description);
  load.missing.assign(load.list.items.size(), false);
  const TFormat& tga = FormatOf(".tga");
  std::int64_t pixels = 0;
  for (std::size_t item = 0; item < load.list.items.size(); ++item) {
    const int index = entries.find(load.list.items[item]);
    if (index < 0) {
      // Other lines of the list are notes, not textures the bundle lacks.
      load.missing[item] = NameContains(load.list.items[item], ".tga");
      continue;
    }
    // Only TGA entries make frames: anything else would decode to garbage.
    const std::string name(entries.name(index));
    if (!NameContains(name, ".tga")) continue;
    if (entries.size(index) < 1) {
      ++load.emptyFrames;
      continue;
    }
    if (status) status("Loading TGA image...");
    Bytes bytes = entries.read(index);
    TDecoded d = DecodeEntry(tga, {bytes, name}, {status, {}});
    if (status) status("");
    if (d.Refused()) {
      ++load.skipped;
      continue;
    }
    const std::int64_t framePixels = std::int64_t{d.picture.width} * d.picture.height;
    if (framePixels <= 0) continue;
    if (pixels + framePixels > kMaxSurfaceFramePixels) {
      ++load.skipped;
      continue;
    }
    pixels += framePixels;
    load.frames.push_back({static_cast<int>(item), std::move(d.picture)});
  }
  return load;
}

}  // namespace

TSurfaceLoad LoadSurfaceFrames(const TLabReader& reader, ByteSpan description, const ReadEntryFn& read,
                               const StatusFn& status) {
  return LoadFrames(
      {[&reader](std::string_view n) { return reader.FindEntry(n); }, [&reader](int i) { return reader.GetName(i); },
       [&reader](int i) { return std::int64_t{reader.GetSize(i)}; }, read},
      description, status);
}

TSurfaceLoad LoadSurfaceFrames(const TBundleEditList& list, ByteSpan description, const StatusFn& status) {
  return LoadFrames({[&list](std::string_view n) { return list.FindEntry(n); }, [&list](int i) { return list.Name(i); },
                     [&list](int i) { return list.Size(i); }, [&list](int i) { return list.ReadBytes(i); }},
                    description, status);
}

}  // namespace vld
