#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/bundle/FileStream.h"
#include "core/common/EntryNames.h"
#include "core/common/MemoryStream.h"

namespace vld {

constexpr std::uint32_t kMagicLABN = 0x4E42414C;  // "LABN"
constexpr std::uint32_t kMagicBIKi = 0x694B4942;  // "BIKi"
constexpr std::uint32_t kMagicSMUS = 0x53554D53;  // "SMUS"
constexpr std::uint32_t kMagicRIFF = 0x46464952;  // "RIFF"
constexpr std::uint32_t kNamesOffsetConstant = 0x1B7A3;
constexpr std::uint8_t kNameMask = 0xA5;
// A name longer than this is cut there and the bundle counts as damaged.
constexpr std::size_t kMaxNameLength = 4096;
// All names together hold at most this many bytes; further names read as
// empty and the bundle counts as damaged. (Real bundles need a few MiB; a
// hostile directory could otherwise point every record at one long run.)
constexpr std::size_t kMaxNamesTotal = 64u << 20;

// How the reading of one name ended.
enum class NameEnd {
  Ended,  // at its stored 0x00
  Cut,    // at kMaxNameLength, its end not yet found
  Open,   // at the end of the file, without its 0x00
};

// First four bytes of a file as a little-endian integer; missing bytes count as 0.
std::int32_t ReadMagic(const std::filesystem::path& path);

// One directory record, exactly as read.
struct TFileHeader {
  std::int32_t NameOffset = 0;
  std::int32_t Offset = 0;
  std::int32_t Size = 0;
  std::uint32_t Reserved = 0;
};

// Reads a LAB bundle: the directory once at opening, entry bytes on request.
class TLabReader {
 public:
  TLabReader() = default;
  TLabReader(const TLabReader&) = delete;
  TLabReader& operator=(const TLabReader&) = delete;

  void Open(const std::filesystem::path& path);
  void Close();

  int Count() const { return static_cast<int>(count_); }
  // A view into the reader's one block of names, valid until Close or Open.
  std::string_view GetName(int index) const {
    const NameSpan& n = names_[Checked(index)];
    return std::string_view(nameBase_ + n.start, n.length);
  }
  std::int32_t GetOffset(int index) const { return GetHeader(index).Offset; }
  std::int32_t GetSize(int index) const { return GetHeader(index).Size; }
  const TFileHeader& GetHeader(int index) const { return records_[Checked(index)]; }

  // True when the entry begins with the gzip signature 1F 8B; leaves the
  // stream two bytes after the entry's offset.
  bool IsCompressed(int index);

  // Copies the entry into dest at its current position, in chunks of 65,535
  // bytes. Returns the number of bytes copied: less than the size when the
  // entry runs past the end of the file (nothing is invented for the rest),
  // 0 for a size of zero or less.
  std::int64_t ReadEntry(int index, TByteSink& dest);
  // The entry's bytes as they exist in the file.
  Bytes ReadEntryBytes(int index);
  // True when the entry's data lies wholly inside the file.
  bool EntryComplete(int index) const;
  // True when not one byte of the entry lies inside the file (its size is above 0).
  bool EntryMissing(int index) const;
  // Thread-safe twins of ReadEntryBytes and ReadEntry: positioned reads that
  // leave the stream alone, so several threads may read entries at once.
  // CopyEntryTo stops before the next 65,535-byte piece once `cancel` is set.
  Bytes ReadEntryBytesAt(int index) const;
  std::int64_t CopyEntryTo(int index, TByteSink& sink, const std::atomic<bool>* cancel = nullptr) const;
  // Writes the entry to a file (through a temporary name beside it). Returns
  // the number of bytes written, as ReadEntry.
  std::int64_t ExtractEntry(int index, const std::filesystem::path& target);

  // First entry whose name equals `name` with A-Z folded; -1 if none.
  int FindEntry(std::string_view name) const;

  TFileStream& Stream() { return stream_; }
  const TFileStream& Stream() const { return stream_; }
  const std::filesystem::path& FileName() const { return stream_.Path(); }
  std::int64_t FileSize() const { return stream_.Size(); }

  // Header words as read.
  std::uint32_t Magic() const { return header_[0]; }
  std::uint32_t SecondWord() const { return header_[1]; }
  std::int32_t DeclaredCount() const { return static_cast<std::int32_t>(header_[2]); }
  std::int32_t NamesPosition() const { return static_cast<std::int32_t>(header_[4]); }
  std::int32_t NamesBase() const { return namesBase_; }
  // Anything below: the directory announced more records than the file
  // holds, or a negative count; the header is cut short; a name was cut at
  // the length limit or runs to the end of the file; the names exceed
  // kMaxNamesTotal.
  bool IsDamaged() const { return damaged_; }
  bool HeaderShort() const { return headerShort_; }
  bool NamesCapped() const { return namesCapped_; }
  // Entries (in directory order) whose name was cut at kMaxNameLength, and
  // whose name ran to the end of the file without its end mark.
  const std::vector<int>& CutNames() const { return cutNames_; }
  const std::vector<int>& OpenNames() const { return openNames_; }

 private:
  // No initial values: the spans are allocated without being cleared and
  // every one is set as the names are found.
  struct NameSpan {
    std::uint32_t start;  // from nameBase_
    std::uint32_t length;
  };
  std::size_t Checked(int index) const;
  std::int64_t NamePosition(const TFileHeader& h) const;
  void FindNames(std::int64_t blockEnd);
  bool FindNamesInOrder(std::int64_t blockEnd);
  bool FindNamesInBlock(std::int64_t blockEnd);
  void NoteName(std::size_t index, NameEnd how);
  void NoteCapped();

  TFileStream stream_;
  std::uint32_t header_[5] = {0, 0, 0, 0, 0};
  std::int32_t namesBase_ = 0;
  bool damaged_ = false;
  bool headerShort_ = false;
  bool namesCapped_ = false;
  std::vector<int> cutNames_, openNames_;
  // The directory as read (records and TFileHeader share one layout), in
  // one block with the names table when that follows it, as it usually does;
  // the names are unmasked where they lie. Elsewhere they are read into a
  // block of their own, or gathered one by one when spread too wide.
  std::unique_ptr<std::uint8_t[]> block_;
  const TFileHeader* records_ = nullptr;
  std::size_t count_ = 0;
  std::unique_ptr<NameSpan[]> names_;
  std::unique_ptr<char[]> nameWindow_;
  std::string nameBlock_;
  const char* nameBase_ = "";  // where the spans count from
};

// Why the bundle is damaged, one line a reason ("its directory announces 5
// entries, the file holds 2."); empty when it is not. Names are given by
// index; a long list of names is summed up after a few.
std::vector<std::string> DamageReport(const TLabReader& reader);

}  // namespace vld
