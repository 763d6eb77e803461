#include "core/browser/Convert.h"
#include "core/browser/FileTypes.h"
#include "core/common/Errors.h"
#include "core/images/BMPTools.h"
#include "core/images/KFNFont.h"
#include "core/images/TGAImage.h"
#include "core/images/TileImage.h"

namespace vld {

ImageKind ImageKindOf(std::string_view name) {
  if (NameContains(name, ".til")) return ImageKind::Tile;
  if (NameContains(name, ".tga")) return ImageKind::Tga;
  if (NameContains(name, ".kfn")) return ImageKind::Font;
  if (NameContains(name, ".bmp")) return ImageKind::Bitmap;
  return ImageKind::None;
}

bool HandlesImageEntry(std::string_view name) { return ImageKindOf(name) != ImageKind::None; }

std::optional<TConversion> ConvertImageEntry(std::string_view name, ByteSpan bytes) {
  const ImageKind kind = ImageKindOf(name);
  if (kind == ImageKind::None) return std::nullopt;
  // An empty entry gives no picture; writing an empty .bmp would look like success.
  if (bytes.empty()) throw VldError(kEmptyEntryRefusal);
  switch (kind) {
    case ImageKind::Tile:
      return TConversion{".bmp", DecodeTileImage(bytes).bmp};
    case ImageKind::Tga:
      return TConversion{".bmp", DecodeTGAImage(bytes).bmp};
    case ImageKind::Font:
      return TConversion{".bmp", RenderKFNImage(bytes).bmp};
    case ImageKind::Bitmap:
    case ImageKind::None:
      break;
  }
  return TConversion{".bmp", Bytes(bytes.begin(), bytes.end())};
}

}  // namespace vld
