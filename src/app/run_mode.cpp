#include "app/run_mode.h"

#include "platform/os.h"

namespace lum {

namespace {

bool IsSeparator(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  return u >= 1 && u <= 32;
}

}  // namespace

std::vector<std::string> SplitCommandLine(const std::string& command_line) {
  std::vector<std::string> pieces;
  std::string piece;
  bool quoted = false;
  bool in_piece = false;
  for (char c : command_line) {
    if (c == '\0') break;
    if (!quoted && IsSeparator(c)) {
      if (in_piece) pieces.push_back(piece);
      piece.clear();
      in_piece = false;
      continue;
    }
    if (c == '"') quoted = !quoted;
    piece.push_back(c);
    in_piece = true;
  }
  if (in_piece) pieces.push_back(piece);
  for (std::string& p : pieces) {
    if (p.size() > 1 && p.front() == '"' && p.back() == '"') p = p.substr(1, p.size() - 2);
  }
  return pieces;
}

std::string FirstArgument(const std::string& command_line) {
  std::vector<std::string> pieces = SplitCommandLine(command_line);
  return pieces.size() > 1 ? pieces[1] : std::string();
}

std::string OwnFolder(const std::string& own_path) {
  size_t at = own_path.find_last_of("\\/:");
  return at == std::string::npos ? std::string() : own_path.substr(0, at + 1);
}

bool IsAgent(const std::string& first_argument) { return first_argument == kAgentArgument; }

RunMode DecideRunMode(const std::string& first_argument, const std::string& lowered_own_path) {
  if (first_argument == kDeployArgument) return RunMode::Deploy;
  if (lowered_own_path.find("setup") != std::string::npos) return RunMode::Setup;
  if (IsAgent(first_argument)) return RunMode::Agent;
  return RunMode::Centre;
}

std::string OwnFirstArgument() { return FirstArgument(Os().CommandLine()); }

std::string OwnPath() { return Os().ModulePath(); }

RunMode OwnRunMode() { return DecideRunMode(OwnFirstArgument(), Os().LowerCase(OwnPath())); }

}  // namespace lum
