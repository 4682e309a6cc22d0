// How the one executable decides what to be: installer (deploy or setup
// form), agent or centre, from its first argument and its own path.
#pragma once

#include <string>
#include <vector>

namespace lum {

enum class RunMode { Deploy, Setup, Agent, Centre };

constexpr char kAgentArgument[] = "/agent";
constexpr char kDeployArgument[] = "/deploy";

// Splits at runs of characters 1..32 outside double-quoted stretches; a
// piece longer than one character that begins and ends with a double quote
// loses that pair.
std::vector<std::string> SplitCommandLine(const std::string& command_line);

// The piece after the program path, or "".
std::string FirstArgument(const std::string& command_line);

// The own path up to and including its last "\", "/" or ":".
std::string OwnFolder(const std::string& own_path);

// The agent test: the whole first argument equals "/agent", case-sensitively.
bool IsAgent(const std::string& first_argument);

// The decision table. `lowered_own_path` is the own path lower-cased by the
// system's rules.
RunMode DecideRunMode(const std::string& first_argument, const std::string& lowered_own_path);

// The process's own first argument, path and mode, read through the OS seam.
std::string OwnFirstArgument();
std::string OwnPath();
RunMode OwnRunMode();

}  // namespace lum
