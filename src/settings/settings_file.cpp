#include "settings/settings_file.h"

#include "net/text_ops.h"
#include "platform/os.h"

namespace lum {

namespace {

const char kShellFolders[] = "Software\\MicroSoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

// A REG_SZ value up to its first NUL; anything else counts as missing.
std::string RegistryText(RegRoot root, const std::string& subkey, const std::string& name) {
  RegValue value = Os().QueryRegistryValue(root, subkey, name);
  if (!value.found || value.type != kRegSz) return std::string();
  size_t nul = value.data.find('\0');
  return nul == std::string::npos ? value.data : value.data.substr(0, nul);
}

bool HoldsLineBreak(const std::string& text) {
  return text.find_first_of("\r\n") != std::string::npos;
}

}  // namespace

std::string SpecialFolderPath(const std::string& name, FolderScope scope) {
  if (scope == FolderScope::Common) {
    return RegistryText(RegRoot::LocalMachine, kShellFolders, "Common " + name);
  }
  return RegistryText(RegRoot::CurrentUser, kShellFolders, name);
}

std::string ProgramFilesDir() {
  return RegistryText(RegRoot::LocalMachine, "Software\\Microsoft\\Windows\\CurrentVersion",
                      "ProgramFilesDir");
}

std::string SettingsFilePath() {
  return SpecialFolderPath("AppData", FolderScope::PerUser) + "\\Corvalin.ini";
}

std::string EscapeIniKey(const std::string& key) {
  if (key.empty()) return "$empty";
  return ReplaceAll({"=", "%3D"}, key);
}

std::string ReadIniValue(const std::string& file, const std::string& section,
                         const std::string& key, const std::string& def) {
  std::string escaped = EscapeIniKey(key);
  if (!FileExists(file)) return def;
  ProfileRead read = Os().GetProfileString(section, escaped, def, 4096, file);
  if (read.count == 0) return std::string();
  std::string text = read.text;
  size_t nul = text.find('\0');
  if (nul != std::string::npos) text.resize(nul);
  if (text.size() > 4095) text.resize(4095);
  return text;
}

std::string IniValueAsRead(const std::string& value) {
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\x1a'; };
  std::string text = value.substr(0, value.find('\0'));
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && blank(text[begin])) ++begin;
  while (end > begin && blank(text[end - 1])) --end;
  text = text.substr(begin, end - begin);
  if (text.size() > 1 && (text.front() == '"' || text.front() == '\'') && text.back() == text.front())
    text = text.substr(1, text.size() - 2);
  if (text.size() > 4095) text.resize(4095);
  return text;
}

void WriteIniValue(const std::string& file, const std::string& section,
                   const std::string& key, const std::string& value) {
  if (HoldsLineBreak(section) || HoldsLineBreak(key) || HoldsLineBreak(value)) return;
  Os().WriteProfileString(section, EscapeIniKey(key), value, file);
}

}  // namespace lum
