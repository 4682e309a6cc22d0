#include "platform/posix/dynamic_library.h"

#include <dlfcn.h>

namespace lum::posix {

namespace {

void ClearSlots(const LibrarySymbol* symbols, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) *symbols[i].slot = nullptr;
}

}  // namespace

void* OpenLibrary(const char* soname, const LibrarySymbol* symbols, std::size_t count) {
  void* library = dlopen(soname, RTLD_NOW | RTLD_LOCAL);
  if (!library) {
    dlerror();  // the reason stays unread: a missing library is an expected state
    ClearSlots(symbols, count);
    return nullptr;
  }
  for (std::size_t i = 0; i < count; ++i) {
    *symbols[i].slot = dlsym(library, symbols[i].name);
    if (!*symbols[i].slot) {
      dlerror();
      ClearSlots(symbols, count);
      dlclose(library);
      return nullptr;
    }
  }
  return library;
}

void CloseLibrary(void* library, const LibrarySymbol* symbols, std::size_t count) {
  ClearSlots(symbols, count);
  if (library) dlclose(library);
}

}  // namespace lum::posix
