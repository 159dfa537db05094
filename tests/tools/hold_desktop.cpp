// SPDX-License-Identifier: Apache-2.0
// holddesktop: keeps the Wine prefix's desktop open while a test run lasts.
//
// Wine closes a desktop about a second after its last program ended, and a
// program that starts in that second can be handed the desktop window just
// before it goes away: every window it creates afterwards fails (error 1400,
// an invalid window handle). Held by this program, the desktop opens once and
// stays. It writes "ready" to its standard output once the desktop window is
// there, then waits until the wineserver ends it.
#include <windows.h>

int main() {
  if (GetDesktopWindow() == nullptr) return 1;
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), "ready\n", 6, &written, nullptr);
  Sleep(INFINITE);
  return 0;
}
