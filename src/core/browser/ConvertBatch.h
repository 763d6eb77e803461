#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/browser/Batch.h"
#include "core/browser/Formats.h"

namespace vld {

class TLabReader;

// A run that writes entries converted ("convert-all", "Save selected
// (converted)"): where each entry goes and how its bytes are made, decided in
// one place so that the command line and the viewer name files alike.

// The relative path ('/'-joined, made safe by MapEntryName) of every name, in
// order. A convertible entry keeps its folder and is named as the viewer
// suggests (sets\beach.til -> sets/beach.bmp, or sets/beach.png for PNG);
// scripts and text tables keep their whole name (demo.lua -> demo.lua.txt).
// A path already planned in this run falls back to the whole name
// (x.tga -> x.tga.bmp), then to a number before the extension (a.tab.2.txt).
// A name without a conversion keeps its own path (a raw copy). Paths that
// only collide where the file system folds case are left to RunBatch.
std::vector<std::string> PlanConvertedPaths(std::span<const std::string_view> names, ImageFormat images);

// Batch items for converting the given entries, at PlanConvertedPaths' paths.
std::vector<TBatchItem> ConvertedItems(const TLabReader& reader, std::span<const int> indexes, ImageFormat images);

// The producer for such a run: a convertible entry is converted (and refused
// if it would not give the extension its planned path has), any other entry
// is copied as it is. `reader` must outlive the run.
TBatchProduce ConvertedProduce(const TLabReader& reader, ImageFormat images);

}  // namespace vld
