// The per-user settings file and the folder look-ups. Nothing is cached:
// every call computes the path again and goes to the file through the
// platform's profile functions, because the centre and the agent write the
// same file side by side.
#pragma once

#include <string>

namespace lum {

enum class FolderScope { PerUser, Common };

// The folder stored under the shell-folder key ("Common " + name for the
// common scope), or "".
std::string SpecialFolderPath(const std::string& name, FolderScope scope);

// The Program Files folder, or "".
std::string ProgramFilesDir();

// The per-user application-data folder + "\Corvalin.ini".
std::string SettingsFilePath();

// "" becomes "$empty"; every "=" becomes "%3D". Nothing is ever unescaped.
std::string EscapeIniKey(const std::string& key);

// The value; `def` when the file, section or key is missing; "" for an
// entry present with an empty value; at most 4095 characters.
std::string ReadIniValue(const std::string& file, const std::string& section,
                         const std::string& key, const std::string& def);

// What ReadIniValue gives back for a value WriteIniValue stored: the text up
// to a NUL, without blanks at either end and then without one pair of
// matching outer quotes, at most 4095 characters. The profile functions do
// this on reading, so a value compared with what was stored compares in this
// form.
std::string IniValueAsRead(const std::string& value);

// Creates or replaces key=value; an empty value keeps the entry. A section,
// key or value holding CR or LF is refused and the file left as it was: it
// would reach the file as a line break and add or overwrite entries.
void WriteIniValue(const std::string& file, const std::string& section,
                   const std::string& key, const std::string& value);

}  // namespace lum
