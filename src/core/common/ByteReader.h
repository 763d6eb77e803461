#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "core/common/Bytes.h"
#include "core/common/Errors.h"

namespace vld {

// Bounds-checked reader over a byte buffer. Every read either delivers all the
// bytes it asked for or throws TruncatedError; the *OrZero variants instead
// count missing bytes as zero, for formats whose short data is defined that way.
class ByteReader {
 public:
  explicit ByteReader(ByteSpan data, std::string what = "data") : data_(data), what_(std::move(what)) {}

  std::size_t Size() const { return data_.size(); }
  std::size_t Pos() const { return pos_; }
  std::size_t Remaining() const { return pos_ < data_.size() ? data_.size() - pos_ : 0; }
  bool AtEnd() const { return pos_ >= data_.size(); }
  ByteSpan Data() const { return data_; }

  // Positions beyond the end are allowed; the next read there fails.
  void Seek(std::size_t pos) { pos_ = pos; }
  void Skip(std::size_t n) {
    Need(n);
    pos_ += n;
  }

  std::uint8_t U8() {
    Need(1);
    return data_[pos_++];
  }
  std::uint16_t U16LE() {
    Need(2);
    std::uint16_t v = static_cast<std::uint16_t>(data_[pos_] | (data_[pos_ + 1] << 8));
    pos_ += 2;
    return v;
  }
  std::uint16_t U16BE() {
    Need(2);
    std::uint16_t v = static_cast<std::uint16_t>((data_[pos_] << 8) | data_[pos_ + 1]);
    pos_ += 2;
    return v;
  }
  std::uint32_t U32LE() {
    Need(4);
    std::uint32_t v = LoadU32LE(data_.data() + pos_);
    pos_ += 4;
    return v;
  }
  std::uint32_t U32BE() {
    Need(4);
    const std::uint8_t* p = data_.data() + pos_;
    std::uint32_t v = (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
    pos_ += 4;
    return v;
  }
  std::int32_t I32LE() { return static_cast<std::int32_t>(U32LE()); }
  std::int32_t I32BE() { return static_cast<std::int32_t>(U32BE()); }
  std::int16_t I16BE() { return static_cast<std::int16_t>(U16BE()); }

  ByteSpan Take(std::size_t n) {
    Need(n);
    ByteSpan s = data_.subspan(pos_, n);
    pos_ += n;
    return s;
  }
  void Read(void* dest, std::size_t n) {
    Need(n);
    std::memcpy(dest, data_.data() + pos_, n);
    pos_ += n;
  }
  // Bytes up to a zero byte, which is consumed and not returned.
  std::string ZString() {
    std::size_t end = pos_;
    while (end < data_.size() && data_[end] != 0) ++end;
    if (end >= data_.size()) Fail();
    std::string s(reinterpret_cast<const char*>(data_.data() + pos_), end - pos_);
    pos_ = end + 1;
    return s;
  }

  // Lenient reads: whatever lies past the end reads as zero bytes.
  std::uint8_t U8OrZero() { return pos_ < data_.size() ? data_[pos_++] : (++pos_, 0); }
  void ReadOrZero(void* dest, std::size_t n) {
    std::size_t have = std::min(n, Remaining());
    if (have) std::memcpy(dest, data_.data() + pos_, have);
    if (have < n) std::memset(static_cast<std::uint8_t*>(dest) + have, 0, n - have);
    pos_ += n;
  }

  static std::uint32_t LoadU32LE(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[3]) << 24);
  }

 private:
  void Need(std::size_t n) const {
    if (pos_ > data_.size() || n > data_.size() - pos_) Fail();
  }
  [[noreturn]] void Fail() const { throw TruncatedError("The " + what_ + " is truncated or damaged."); }

  ByteSpan data_;
  std::string what_;
  std::size_t pos_ = 0;
};

}  // namespace vld
