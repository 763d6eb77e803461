#pragma once

#include <stdexcept>
#include <string>

namespace vld {

// Every refusal of the engine is one of these; the message is meant for the user.
class VldError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Input ended before a field that had to be there.
class TruncatedError : public VldError {
 public:
  using VldError::VldError;
};

// A file could not be opened, created, read or written; the message names the file.
class FileError : public VldError {
 public:
  using VldError::VldError;
};

}  // namespace vld
