#include <windows.h>

#include "shell/Startup.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return vm::RunVellumark(); }
