// Runs the chosen Command of a launch stub in the unpacked folder.
#pragma once

#include <string>

#include "tasks/task.h"

class ExecuteLaunchCommand final : public Task {
 public:
  ExecuteLaunchCommand();
  [[nodiscard]] velmora::VMStatus run(std::uint32_t& exitCodeOut) override;

  // CreateProcessW rather than the shell.
  bool UseCreateProcess = false;
  std::wstring Executable;
  // The Command's arguments and, after one blank, the stub's passthrough text.
  std::wstring Arguments;
  // Shell commands only; both stay false for CreateProcessW.
  bool Wait = false;
  bool AsAdmin = false;
  // The chosen language; empty for a language-neutral Option. An elevated
  // second instance is told the same one.
  std::wstring LanguageTag;
};
