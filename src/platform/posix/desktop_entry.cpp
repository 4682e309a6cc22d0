#include "platform/posix/desktop_entry.h"

#include "install/installer.h"

namespace lum::posix {

namespace {

// An Exec argument: as it is when it holds none of the characters the
// desktop entry format reserves, else quoted with those that need it
// escaped; then the string escaping of the file (a backslash doubled).
std::string ExecArgument(const std::string& argument) {
  const std::string reserved = " \t\n\"'\\><~|&;$*?#()`=%";
  std::string out;
  if (argument.find_first_of(reserved) == std::string::npos) {
    out = argument;
  } else {
    out = "\"";
    for (char c : argument) {
      if (c == '"' || c == '`' || c == '$' || c == '\\') out += '\\';
      out += c;
    }
    out += "\"";
  }
  std::string escaped;
  for (char c : out) {
    if (c == '\\') escaped += '\\';
    if (c == '%') escaped += '%';  // field codes start with it
    escaped += c;
  }
  return escaped;
}

// A value on one line.
std::string OneLine(const std::string& text) {
  std::string out;
  for (char c : text) out += (c == '\n' || c == '\r') ? ' ' : c;
  return out;
}

}  // namespace

std::string DesktopEntry(const std::string& program, const std::string& arguments,
                         const std::string& name, bool agent) {
  std::string exec = ExecArgument(program);
  if (!arguments.empty()) exec += " " + OneLine(arguments);
  std::string text = "[Desktop Entry]\nType=Application\nName=" + OneLine(name) +
                     "\nExec=" + exec + "\nIcon=lumcenter\nTerminal=false\n";
  text += agent ? "NoDisplay=true\n" : "Categories=Network;\n";
  // The class of the window the entry starts, so that docks and task bars
  // tie that window to its launcher.
  text += std::string("StartupWMClass=") + (agent ? kAgentWindowClass : kMainWindowClass) + "\n";
  return text;
}

}  // namespace lum::posix
