// The diff command of the command-line tool.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace vm {

// Runs "diff" (args[0]) with its arguments; returns the exit status.
int RunDiff(const std::vector<std::u16string>& args, std::ostream& out, std::ostream& err);

// The text printed by "diff --help".
std::string DiffHelpText();

}  // namespace vm
