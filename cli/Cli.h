// The command-line tool: converting tables between .tbl and text, merging
// values by key and showing what a file holds. All of it runs in-process
// behind RunCli, so the tests drive it exactly as main() does.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace vm {

// Exit statuses of RunCli.
inline constexpr int CliOk = 0;
inline constexpr int CliFileError = 1;   // a file could not be read or written
inline constexpr int CliUsageError = 2;  // unknown command or option, bad number

// Runs one command. args are the arguments after the program name. Normal
// output goes to out, errors and warnings to err, both as UTF-8. Resets the
// process-wide options first, so consecutive calls do not influence each
// other.
int RunCli(const std::vector<std::u16string>& args, std::ostream& out, std::ostream& err);

// The text printed by --help.
const char* CliHelpText();

}  // namespace vm
