// vellumark-cli: see CliHelpText() in Cli.cpp for the commands.

#include <iostream>

#include "cli/Cli.h"
#include "platform/Platform.h"

int main(int argc, char** argv) {
    return vm::RunCli(vm::platform::CommandLineArguments(argc, argv), std::cout, std::cerr);
}
