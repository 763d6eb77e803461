#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>

#include "core/bundle/FileStream.h"
#include "core/common/Bytes.h"
#include "core/common/MemoryStream.h"

namespace vld {

// A Smush container carries its Bink data at one of these offsets: 512,
// 1024, ... 15872 (31 probes).
constexpr std::int64_t kBinkProbeStep = 512;
constexpr std::int64_t kBinkProbeFirst = 512;
constexpr std::int64_t kBinkProbeLast = 15872;

constexpr std::string_view kNonStandardSmushText = "This seems to be a non-standard Smush wrapped animation.";

// Where the Bink data of a Smush-wrapped file starts: the first probed offset
// holding "BIKi"; nullopt when none does.
std::optional<std::int64_t> FindBinkOffset(TFileStream& smush);
std::optional<std::int64_t> FindBinkOffset(ByteSpan smush);

// The Bink data of an open Smush-wrapped file (from the "BIKi" found by
// FindBinkOffset to the end) written to `target` through a temporary file.
// Returns the bytes written, or nullopt, writing nothing, when no probe hit.
std::optional<std::int64_t> ExtractBinkData(TFileStream& smush, const std::filesystem::path& target);
std::optional<std::int64_t> ExtractBinkData(TFileStream& smush, TByteSink& out);

// The stand-alone Bink file: exactly its first `singleSize` bytes (its size
// when it was opened), from offset 0. Returns the bytes written.
std::int64_t SaveSingleBink(TFileStream& bink, std::int64_t singleSize, const std::filesystem::path& target);
std::int64_t SaveSingleBink(TFileStream& bink, std::int64_t singleSize, TByteSink& out);

// The Bink data of a stand-alone file held in memory: the whole file for
// "BIKi", the embedded data for "SMUS"; nullopt for a Smush file without
// Bink data at a probed offset. Throws VldError for any other file.
std::optional<Bytes> BinkDataFromBytes(ByteSpan file);

}  // namespace vld
