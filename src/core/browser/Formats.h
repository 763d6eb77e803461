#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/audio/SurfaceDescription.h"
#include "core/common/Bytes.h"
#include "core/common/EntryNames.h"
#include "core/images/BMPTools.h"

namespace vld {

class TLabReader;
class TBundleEditList;

// The format registry: everything the program knows about an entry type, in
// one descriptor per type. The main window's labels and buttons, its action
// dispatch, "Save as BMP..." / "Save as Wave...", `vldtool convert` and
// `convert-all` all look types up here. Adding a type means adding one
// descriptor (and, in the viewer, one preview widget for a new preview kind).

// What a decode gives, and so which window shows it.
enum class PreviewKind { None, Picture, Sound, Text, Script, Surface, Movie };

// The entry as a decoder sees it.
struct TDecodeInput {
  ByteSpan bytes;
  std::string_view name;
};

// Where a decoder reports while it works. Both may be called from a worker
// thread; both may be left empty.
struct TDecodeReport {
  StatusFn status;  // progress texts for the status bar ("Loading tiles...")
  LogFn log;        // diagnostic lines (the WVC block table)
};

// A decode's whole result: plain data, no side effects. Exactly one of the
// payloads is filled, as `kind` says, unless the entry was refused.
struct TDecoded {
  PreviewKind kind = PreviewKind::None;
  TImageFile picture;                 // Picture: a BMP file and its size
  Bytes wave;                         // Sound: a complete RIFF/WAVE file
  std::string text;                   // Text, Script: 8-bit text
  TSurfaceFrames surface;             // Surface: the frame list
  std::vector<std::string> warnings;  // shown after the result, never instead of it
  std::string refusal;                // non-empty: nothing to show; the message says why

  bool Refused() const { return !refusal.empty(); }
};

// The converted form of an entry: the extension it is saved under
// (".bmp", ".wav", ".txt") and its bytes.
struct TConversion {
  std::string extension;
  Bytes data;
};

// The families that decide which converter a name gets.
enum class FormatFamily { None, Image, Sound, Text, Script, Surface, Movie, Model };

using DecodeFn = TDecoded (*)(const TDecodeInput& input, const TDecodeReport& report);

// One entry type.
struct TFormat {
  const char* contains;  // extension text searched anywhere in the A-Z folded name; nullptr: "unknown"
  const char* typeText;
  const char* caption;  // action button caption; nullptr leaves the caption unchanged
  bool action;          // the action button is enabled
  bool saveBmp;
  bool saveWav;
  bool saveFile;
  int dispatchOrder;  // 1-based place in the dispatch order; 0 when the type has no action
  FormatFamily family;
  PreviewKind preview;  // what the action shows (None: the bytes in a hex view)
  // The status text a view sets as it starts, before the size check; nullptr for none.
  const char* loadingText;
  // The view refuses an entry of size 0 or less with kEmptyEntryRefusal before
  // reading it (scripts leave a short chunk to the loader's own message).
  bool refusesEmpty;
  DecodeFn decode;               // nullptr: nothing to decode (the action needs the bundle or another program)
  const char* convertExtension;  // nullptr: no conversion
};

// Every type, in the type table's order (the last one is "unknown").
std::span<const TFormat> AllFormats();

// The type that sets the labels and buttons (type-table order; "unknown" when none matches).
const TFormat& FormatForType(std::string_view name);
// The one type of this extension text (".tga"); throws std::logic_error for an unknown one.
const TFormat& FormatOf(std::string_view extension);
// The type whose action runs (dispatch order); nullptr when none does.
const TFormat* FormatForAction(std::string_view name);
// The image type "Save as BMP..." decodes as (".til", ".tga", ".kfn", ".bmp" in this
// order); nullptr for other names.
const TFormat* FormatForSaveBmp(std::string_view name);
// The sound type "Save as Wave..." converts: decided on the file part of the
// name (after the last '\'), ".wvc" before ".aif"; nullptr for other names.
const TFormat* FormatForSaveWav(std::string_view name);

// Decodes an entry as `format` says. Refusals (an empty entry, a damaged
// one, a loader error) come back in `refusal`, never as an exception.
TDecoded DecodeEntry(const TFormat& format, const TDecodeInput& input, const TDecodeReport& report = {});

// The file format pictures are converted to.
enum class ImageFormat { Bmp, Png };

// Converts an entry's bytes by the type its name gives, exactly as the viewer
// writes them when saving: the dispatch order picks the family (x.tab.lua is a
// script), the save rules pick the converter inside it. Pictures become BMP
// files (".bmp") or PNG files with their alpha (".png"). Throws VldError when
// the type has no conversion or the entry is refused.
TConversion ConvertEntryBytes(std::string_view name, ByteSpan bytes, ImageFormat images = ImageFormat::Bmp);
// The largest input each kind of conversion takes: nothing the decoders
// accept within their own limits is larger. Pictures: what 16,777,216 pixels
// need at 5 bytes each, with room for headers and gzip; sounds: what a WAVE
// file can describe (AIF) or 2 GiB (WVC, whose sound is at most 1 GiB);
// scripts 64 MiB; text tables 1 GiB.
constexpr std::int64_t kMaxPictureInput = std::int64_t{256} << 20;
constexpr std::int64_t kMaxWvcInput = std::int64_t{2} << 30;
constexpr std::int64_t kMaxLuaChunkSize = std::int64_t{64} << 20;
constexpr std::int64_t kMaxTextTableSize = std::int64_t{1} << 30;
// How many first bytes CheckConversionStart looks at.
constexpr std::size_t kConversionHeadBytes = 16;
// Refuses, from the name, the size and the first bytes alone, what
// ConvertEntryBytes would refuse after reading everything: a type without a
// conversion, an input larger than its kind takes, a script without the
// script signature. Throws VldError; passes what may convert.
void CheckConversionStart(std::string_view name, ByteSpan head, std::int64_t size);
// ConvertEntryBytes writing into `out`: the same bytes, but a sound that is
// a byte swap behind a header (AIF) is converted piece by piece, never whole
// in memory. Writes nothing before a refusal that the conversion decides
// up front.
void ConvertEntryTo(std::string_view name, ByteSpan bytes, ImageFormat images, TByteSink& out);
// A picture's BMP file as a PNG file.
Bytes BmpToPng(ByteSpan bmp);
// True when ConvertEntryBytes handles the name's type.
bool IsConvertible(std::string_view name);
// The extension ConvertEntryBytes gives the name (".bmp", ".png", ".wav",
// ".txt"), known before converting; empty when the type has no conversion.
std::string ConvertedExtension(std::string_view name, ImageFormat images = ImageFormat::Bmp);

// The type text shown for a name; a movie's depends on what is open: a
// stand-alone file says which kind it is.
std::string TypeText(std::string_view name, bool singleBink, bool singleSmush);
// The type text of an entry inside a bundle, as the viewer and vldtool show
// it: a movie there is a "Bink animation" too (the table's own text for it
// was never meant to be seen).
std::string EntryTypeText(std::string_view name);

// A loose file or a stand-alone animation, by its first bytes and its name.
enum class FileKind {
  Bundle,       // "LABN"
  SingleBink,   // "BIKi"
  SingleSmush,  // "SMUS"
  Mp3,          // an MPEG audio frame start or "RIFF": music the viewer does not play
  Other,
};
FileKind IdentifyMagic(std::uint32_t magic);
// Reads the file's first four bytes; throws FileError when it cannot be opened.
FileKind IdentifyFile(const std::filesystem::path& path);

// The frames of a surface: every listed item, and a decoded picture for each
// item that names a TGA entry of the bundle.
struct TSurfaceFrame {
  int item = 0;  // position in the frame list
  TImageFile picture;
};
struct TSurfaceLoad {
  TSurfaceFrames list;
  std::vector<bool> missing;          // per item: names a TGA texture the bundle lacks
  std::vector<TSurfaceFrame> frames;  // in item order
  int skipped = 0;                    // TGA entries that were damaged or over the pixel budget
  int emptyFrames = 0;                // TGA entries of size 0 or less (each refused like a view)
};
// Frames may together hold at most this many pixels (256 MiB of pictures).
constexpr std::int64_t kMaxSurfaceFramePixels = std::int64_t{64} * 1024 * 1024;
// `read` returns an entry's bytes by index (so the caller decides how the
// bundle is read, e.g. by position from a worker thread).
using ReadEntryFn = std::function<Bytes(int index)>;
TSurfaceLoad LoadSurfaceFrames(const TLabReader& reader, ByteSpan description, const ReadEntryFn& read,
                               const StatusFn& status = {});
// The same among the entries of a bundle as edited (read by position: a
// worker may call it while the list stays unchanged).
TSurfaceLoad LoadSurfaceFrames(const TBundleEditList& list, ByteSpan description, const StatusFn& status = {});

}  // namespace vld
