#pragma once

#include <algorithm>
#include <cstring>

#include "core/common/Bytes.h"

namespace vld {

// Destination of copied bytes: a memory stream or a file being written.
class TByteSink {
 public:
  virtual ~TByteSink() = default;
  virtual void Write(const std::uint8_t* data, std::size_t n) = 0;
};

// A growable in-memory byte buffer with a read/write position.
class TMemoryStream : public TByteSink {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(Bytes data) : data_(std::move(data)) {}

  // Writes at the current position, overwriting and growing as needed.
  void Write(const std::uint8_t* data, std::size_t n) override {
    if (n == 0) return;
    if (pos_ + n > data_.size()) data_.resize(pos_ + n);
    std::memcpy(data_.data() + pos_, data, n);
    pos_ += n;
  }
  void Write(ByteSpan bytes) { Write(bytes.data(), bytes.size()); }
  std::size_t Read(std::uint8_t* dest, std::size_t n) {
    std::size_t have = pos_ < data_.size() ? std::min(n, data_.size() - pos_) : 0;
    if (have) std::memcpy(dest, data_.data() + pos_, have);
    pos_ += have;
    return have;
  }
  void Seek(std::size_t pos) { pos_ = pos; }
  std::size_t Position() const { return pos_; }
  std::size_t Size() const { return data_.size(); }
  bool Empty() const { return data_.empty(); }
  void Clear() {
    data_.clear();
    pos_ = 0;
  }
  const Bytes& Data() const { return data_; }
  Bytes& Data() { return data_; }
  Bytes Take() {
    pos_ = 0;
    return std::move(data_);
  }

 private:
  Bytes data_;
  std::size_t pos_ = 0;
};

}  // namespace vld
