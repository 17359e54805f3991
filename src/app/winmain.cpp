// Placeholder until the shell lands.
#include "platform/win32.h"

int WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return 0; }
