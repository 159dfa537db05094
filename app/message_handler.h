// SPDX-License-Identifier: Apache-2.0
// Receives the messages of the stub's hidden message window.
#pragma once

#include <windows.h>

class MessageHandler {
 public:
  virtual ~MessageHandler() = default;
  virtual LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) = 0;
};
