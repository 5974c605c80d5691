// A DLL with nothing in it: the path tests copy it to a directory of their choosing and load it
// from there.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
