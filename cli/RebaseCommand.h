// The rebase command of the command-line tool.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace vm {

// Runs "rebase" (args[0]) with its arguments; returns the exit status.
int RunRebase(const std::vector<std::u16string>& args, std::ostream& out, std::ostream& err);

// The text printed by "rebase --help".
std::string RebaseHelpText();

}  // namespace vm
