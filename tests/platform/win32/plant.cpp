// A DLL that does nothing: planted in a folder to see whether a program
// started near it loads it (the marker program reports that).
#include "platform/win32/windows_sdk.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
