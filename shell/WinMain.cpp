#include <windows.h>

#include "shell/Startup.h"

#ifdef UNICODE
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return vm::RunVellumark(); }
#else
int WINAPI WinMain(HINSTANCE, HINSTANCE, PSTR, int) { return vm::RunVellumark(); }
#endif
