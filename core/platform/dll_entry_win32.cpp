// The entry routine of each zeb DLL. Loading needs no work beyond the C++
// runtime's static set-up, so every notification simply succeeds.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
  return TRUE;
}
