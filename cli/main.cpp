// vellumark-cli: see CliHelpText() in Cli.cpp for the commands.

#include <iostream>

#include "cli/Cli.h"
#include "platform/Platform.h"

int main(int argc, char** argv) {
    // An interrupted run leaves no temporary file beside its output.
    vm::platform::RemoveTemporaryFilesOnInterrupt();
    return vm::RunCli(vm::platform::CommandLineArguments(argc, argv), std::cout, std::cerr);
}
