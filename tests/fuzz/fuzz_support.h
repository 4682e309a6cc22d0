// What the fuzz targets share: a property check that stops the run with the
// property's text, so that libFuzzer keeps the input that broke it.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#define FUZZ_CHECK(condition)                                                          \
  do {                                                                                 \
    if (!(condition)) {                                                                \
      std::fprintf(stderr, "property broken: %s (%s:%d)\n", #condition, __FILE__, __LINE__); \
      std::abort();                                                                    \
    }                                                                                  \
  } while (0)

namespace lum::fuzz {

inline bool Contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

// The text without the given bytes.
inline std::string Without(std::string_view text, std::string_view bytes) {
  std::string out;
  for (char c : text) {
    if (bytes.find(c) == std::string_view::npos) out.push_back(c);
  }
  return out;
}

}  // namespace lum::fuzz
