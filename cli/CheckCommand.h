// The check command of the command-line tool.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace vm {

// Runs "check" (args[0]) with its arguments; returns the exit status.
int RunCheck(const std::vector<std::u16string>& args, std::ostream& out, std::ostream& err);

// The text printed by "check --help".
std::string CheckHelpText();

}  // namespace vm
