#include "core/browser/HexView.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>

#include "core/bundle/LabReader.h"
#include "core/common/Errors.h"

namespace vld {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

bool Printable(std::uint8_t b) { return (b >= 0x20 && b < 0x7F) || (b >= 0xA1 && b != 0xAD); }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool HasHexPrefix(std::string_view s) { return s.size() >= 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X'); }

}  // namespace

std::size_t ReadRegionAt(const TFileStream& file, std::int64_t base, std::int64_t size, std::int64_t offset, void* dest,
                         std::size_t n) {
  if (base < 0 || offset < 0 || offset >= size || n == 0) return 0;
  std::int64_t want =
      std::min<std::int64_t>(static_cast<std::int64_t>(std::min<std::size_t>(n, INT64_MAX)), size - offset);
  return file.ReadAt(base + offset, dest, static_cast<std::size_t>(want));
}

THexSource FileRegionSource(const std::filesystem::path& path, std::int64_t base, std::int64_t size) {
  auto file = std::make_shared<TFileStream>(path);
  THexSource s;
  s.declaredSize = std::max<std::int64_t>(size, 0);
  s.size = base < 0 ? 0 : std::clamp<std::int64_t>(file->Size() - base, 0, s.declaredSize);
  const std::int64_t shown = s.size;
  s.read = [file, base, shown](std::int64_t offset, void* dest, std::size_t n) {
    return ReadRegionAt(*file, base, shown, offset, dest, n);
  };
  return s;
}

THexSource EntryHexSource(const TLabReader& reader, int index) {
  const TFileHeader& h = reader.GetHeader(index);
  return FileRegionSource(reader.FileName(), h.Offset, h.Size);
}

THexSource BytesHexSource(Bytes bytes) {
  auto data = std::make_shared<const Bytes>(std::move(bytes));
  THexSource source;
  source.size = source.declaredSize = static_cast<std::int64_t>(data->size());
  source.read = [data](std::int64_t offset, void* dest, std::size_t n) -> std::size_t {
    if (offset < 0 || offset >= static_cast<std::int64_t>(data->size())) return 0;
    const std::size_t take = std::min(n, data->size() - static_cast<std::size_t>(offset));
    std::memcpy(dest, data->data() + offset, take);
    return take;
  };
  return source;
}

THexSource WholeFileSource(const std::filesystem::path& path) {
  return FileRegionSource(path, 0, std::numeric_limits<std::int64_t>::max());
}

Bytes ReadHexRange(const THexSource& source, std::int64_t offset, std::size_t n) {
  if (offset < 0 || offset >= source.size || !source.read) return {};
  Bytes out(static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(n), source.size - offset)));
  out.resize(source.read(offset, out.data(), out.size()));
  return out;
}

int HexOffsetDigits(std::int64_t size) {
  int digits = 1;
  for (std::uint64_t last = size > 0 ? static_cast<std::uint64_t>(size - 1) : 0; last >>= 4;) ++digits;
  return std::max(digits, 8);
}

std::string FormatHexLine(std::int64_t offset, ByteSpan bytes, int offsetDigits) {
  const std::size_t n = std::min<std::size_t>(bytes.size(), kHexBytesPerLine);
  std::string line;
  line.reserve(static_cast<std::size_t>(offsetDigits) + 2 + kHexBytesPerLine * 3 + 2 + kHexBytesPerLine);
  for (int d = offsetDigits - 1; d >= 0; --d) line += kHexDigits[(static_cast<std::uint64_t>(offset) >> (4 * d)) & 0xF];
  line += ' ';
  for (std::size_t i = 0; i < kHexBytesPerLine; ++i) {
    line += i == kHexBytesPerLine / 2 ? "  " : " ";
    if (i < n) {
      line += kHexDigits[bytes[i] >> 4];
      line += kHexDigits[bytes[i] & 0xF];
    } else {
      line += "  ";
    }
  }
  line += "  ";
  for (std::size_t i = 0; i < n; ++i) line += Printable(bytes[i]) ? static_cast<char>(bytes[i]) : '.';
  return line;
}

TFindResult FindInSource(const THexSource& source, ByteSpan pattern, std::int64_t from, std::int64_t end,
                         const std::atomic<bool>* cancel, std::atomic<std::int64_t>* reached, std::size_t chunk) {
  TFindResult result;
  if (end < 0 || end > source.size) end = source.size;
  from = std::max<std::int64_t>(from, 0);
  const auto len = static_cast<std::int64_t>(pattern.size());
  if (pattern.empty() || !source.read || end - from < len) return result;
  chunk = std::max<std::size_t>(chunk, 1);
  // Each piece repeats the last len - 1 bytes of the one before it.
  const std::size_t overlap = pattern.size() - 1;
  Bytes buffer(chunk + overlap);
  const std::boyer_moore_horspool_searcher searcher(pattern.begin(), pattern.end());
  for (std::int64_t pos = from; pos + len <= end; pos += static_cast<std::int64_t>(chunk)) {
    if (cancel && cancel->load()) {
      result.cancelled = true;
      return result;
    }
    const auto want =
        static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(buffer.size()), end - pos));
    const std::size_t got = source.read(pos, buffer.data(), want);
    auto hit = std::search(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(got), searcher);
    if (hit != buffer.begin() + static_cast<std::ptrdiff_t>(got)) {
      result.offset = pos + (hit - buffer.begin());
      return result;
    }
    if (reached) reached->store(pos + static_cast<std::int64_t>(got));
    if (got < want) break;  // the file ended early
  }
  return result;
}

Bytes ParseFindPattern(std::string_view text, FindMode mode) {
  if (mode == FindMode::Text) {
    if (text.empty()) throw VldError("Type the text to find.");
    return Bytes(text.begin(), text.end());
  }
  Bytes out;
  std::string_view rest = text;
  while (!(rest = Trim(rest)).empty()) {
    std::size_t cut = rest.find_first_of(" \t,");
    std::string_view token = rest.substr(0, cut);
    rest = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 1);
    if (HasHexPrefix(token)) token.remove_prefix(2);
    if (token.empty()) continue;
    if (token.size() % 2 != 0)
      throw VldError("\"" + std::string(token) + "\" has an odd number of hex digits: write each byte as two digits.");
    for (std::size_t i = 0; i < token.size(); i += 2) {
      int hi = HexValue(token[i]), lo = HexValue(token[i + 1]);
      if (hi < 0 || lo < 0)
        throw VldError("\"" + std::string(token) + "\" is not a hex byte sequence (digits 0-9 and A-F only).");
      out.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
    }
  }
  if (out.empty()) throw VldError("Type the bytes to find in hex, for example 4C 41 42 4E.");
  return out;
}

std::int64_t ParseOffset(std::string_view text) {
  std::string_view t = Trim(text);
  int base = 10;
  if (HasHexPrefix(t)) {
    t.remove_prefix(2);
    base = 16;
  } else if (!t.empty() && (t.back() == 'h' || t.back() == 'H')) {
    t.remove_suffix(1);
    base = 16;
  }
  if (t.empty()) throw VldError("Type an offset: decimal (496) or hex (0x1F0).");
  std::uint64_t value = 0;
  for (char c : t) {
    int d = HexValue(c);
    if (d < 0 || d >= base)
      throw VldError("\"" + std::string(Trim(text)) + "\" is not an offset: type it in decimal (496) or hex (0x1F0).");
    if (value >
        (static_cast<std::uint64_t>(INT64_MAX) - static_cast<std::uint64_t>(d)) / static_cast<std::uint64_t>(base))
      throw VldError("The offset " + std::string(Trim(text)) + " is too large.");
    value = value * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(d);
  }
  return static_cast<std::int64_t>(value);
}

}  // namespace vld
