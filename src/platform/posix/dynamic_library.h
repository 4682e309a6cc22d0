// Shared libraries opened at run time, for what only some runs need: a
// process that never asks for one never maps it.
#pragma once

#include <cstddef>

namespace lum::posix {

// A function looked up by name and where its address goes.
struct LibrarySymbol {
  const char* name;
  void** slot;
};

// Opens the library (its own symbols kept apart from the program's) and fills
// every slot. Null, with every slot null and the library closed again, when
// the library or any one of the functions is missing: half a table is never
// used. Quiet either way.
void* OpenLibrary(const char* soname, const LibrarySymbol* symbols, std::size_t count);

// Closes a library opened above and nulls its slots; for libraries that hold
// no threads or callbacks of their own once their work is done.
void CloseLibrary(void* library, const LibrarySymbol* symbols, std::size_t count);

}  // namespace lum::posix
