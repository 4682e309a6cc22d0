// Must not build: the pair doubles the text for each "a", so searching again
// from the start would not end in time. A test compiles this file and
// expects the compiler to name the broken rule.
#include "net/text_ops.h"

std::string Doubled(std::string_view text) { return lum::ReplaceAll({"ab", "bba"}, text); }
