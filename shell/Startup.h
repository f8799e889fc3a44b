// Start and end of the program.
#pragma once

#include <string>
#include <vector>

namespace vm {

// Builds the program's state and window, reads the settings and opens the
// files named by args (file1, file2, directory; "-1" for none). False when
// the program must not run (then it has said why).
// settingsFile: where the settings live (empty: "Vellumark.ini" beside the
// program). show false keeps the main window hidden (window tests).
bool StartVellumark(const std::vector<std::u16string>& args, const std::u16string& settingsFile = {}, bool show = true);
// Releases what StartVellumark built (the window is destroyed).
void StopVellumark();
// The whole program: start, message loop, end. Returns the exit code.
int RunVellumark();

// The program file's directory, ending in a backslash.
std::u16string ProgramDirectory();

// The command-line arguments after the program's name.
std::vector<std::u16string> ProgramArguments();

// Whether the system is of the Windows 9x family (replaceable for tests).
extern bool (*IsWindows9x)();

// The registry key under HKEY_LOCAL_MACHINE that lists the installed fonts.
std::u16string InstalledFontsKey();

}  // namespace vm
