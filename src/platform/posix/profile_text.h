// The rules of the Windows profile functions over the text of an INI file,
// kept apart from file access so that they can be checked on their own.
#pragma once

#include <optional>
#include <string>

namespace lum::posix {

// Lower-cases Windows-1251 text (Latin and Cyrillic letters).
std::string LowerCase1251(const std::string& text);

// The value of key in section, as the platform reads it: names matched
// without regard to letter case, blanks around the value dropped, one pair of
// matching outer quotes removed. nullopt when section or key is missing.
std::optional<std::string> ProfileLookup(const std::string& content, const std::string& section,
                                         const std::string& key);

// The file's text with key=value set: an existing entry's line is replaced
// (keeping its key as written), a new one goes after the section's last
// entry, a new section at the end. Every other line stays as it is.
std::string ProfileUpdate(const std::string& content, const std::string& section,
                          const std::string& key, const std::string& value);

}  // namespace lum::posix
