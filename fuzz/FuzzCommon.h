#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "core/common/Bytes.h"
#include "core/common/Errors.h"

// Runs one parser on the input. A VldError is a refusal with a message, which
// is what damaged input is supposed to get; anything else escaping (a crash,
// std::bad_alloc, an out-of-range index) is a finding.
#define VLD_FUZZ_TARGET(body)                                                         \
  extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) { \
    vld::ByteSpan input(data, size);                                                  \
    try {                                                                             \
      body                                                                            \
    } catch (const vld::VldError&) {                                                  \
    }                                                                                 \
    return 0;                                                                         \
  }

// A property that must hold whatever the input: a violation is a finding.
#define VLD_FUZZ_CHECK(cond)   \
  do {                         \
    if (!(cond)) std::abort(); \
  } while (0)
