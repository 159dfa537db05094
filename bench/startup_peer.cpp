// SPDX-License-Identifier: Apache-2.0
// The least a GUI installer does before it can work: one hidden dialog, one
// hidden top-level window, one 100 ms timer tick, then it exits. bench/startup
// measures the stub against it, so that the difference is the stub's own
// start-up cost and not Wine's.
#include <windows.h>

namespace {

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_TIMER) {
    KillTimer(window, 1);
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

INT_PTR CALLBACK DialogProcedure(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

// An empty dialog template, as the resource compiler would lay it out.
struct alignas(DWORD) EmptyDialog {
  DLGTEMPLATE Header{WS_POPUP | WS_CAPTION, 0, 0, 0, 0, 200, 80};
  WORD Menu = 0, Class = 0, Title = 0;
};

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  const EmptyDialog dialogTemplate;
  HWND dialog = CreateDialogIndirectParamW(instance, &dialogTemplate.Header, nullptr, DialogProcedure, 0);
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = WindowProcedure;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = L"StartupPeer";
  if (dialog == nullptr || RegisterClassExW(&windowClass) == 0) return 1;
  HWND window = CreateWindowExW(0, windowClass.lpszClassName, L"", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, nullptr);
  if (window == nullptr || SetTimer(window, 1, 100, nullptr) == 0) return 1;
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  DestroyWindow(window);
  DestroyWindow(dialog);
  return 0;
}
