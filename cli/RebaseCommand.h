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

// Runs "apply" (a patch of diff --patch); returns the exit status.
int RunApply(const std::vector<std::u16string>& args, std::ostream& out, std::ostream& err);
std::string ApplyHelpText();

}  // namespace vm
