// SPDX-License-Identifier: Apache-2.0
// The application object: decides on the user-interface thread what the run
// does, builds the task list, then pumps messages while the worker runs it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "app/message_handler.h"
#include "app/message_window.h"
#include "support/vm_status.h"
#include "payload/installer_file.h"
#include "tasks/task_worker.h"
#include "ui/progress_dlg.h"

class CfgExtract;
class CfgLaunch;

class App final : public MessageHandler {
 public:
  explicit App(HINSTANCE instance);
  ~App() override = default;
  App(const App&) = delete;
  App& operator=(const App&) = delete;

  // The whole run. `exitCodeOut` is 0 unless the task phase ended normally,
  // then the first non-zero exit code a task reported.
  [[nodiscard]] velmora::VMStatus Run(std::uint32_t& exitCodeOut);

  // Everything before the task phase: the configuration, the language, the
  // target folder, the Option and its Command, and the task list built from
  // them. A failure leaves the list as far as it got.
  [[nodiscard]] velmora::VMStatus PrepareTasks();
  // The same over the configuration already in TheCfg().
  [[nodiscard]] velmora::VMStatus BuildTaskList();

  // The task phase alone: progress dialog, message window, timer, worker and
  // message loop, over the task list as it stands.
  [[nodiscard]] velmora::VMStatus RunTasks(std::uint32_t& exitCodeOut);

  // The elevated instance's folder, named before its environment was
  // replaced; without one it names a fresh folder itself.
  void UseElevatedFolder(std::wstring folder) { elevatedTarget_ = std::move(folder); }

  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

  [[nodiscard]] TaskWorker::TaskList& Tasks() { return Worker.Tasks(); }
  [[nodiscard]] HWND ProgressWindow() const { return Progress.Handle(); }

 private:
  [[nodiscard]] velmora::VMStatus LoadConfiguration();
  [[nodiscard]] velmora::VMStatus AddExtractTasks(const CfgExtract& extract);
  // The language the Option is chosen by: empty for a language-neutral
  // configuration, else the --language tag, the user's choice in the
  // language dialog or the best fit for the user's display language.
  [[nodiscard]] velmora::VMStatus ChooseLanguage(const CfgLaunch& launch, std::wstring& tag);
  [[nodiscard]] velmora::VMStatus AddLaunchTasks(const CfgLaunch& launch, const std::wstring& tag);
  [[nodiscard]] velmora::VMStatus RunMessageLoop();
  void StopTimer();

  HINSTANCE instance_;
  MessageWindow Window;
  TaskWorker Worker;
  UINT_PTR timerId_ = 0;
  bool quitPosted_ = false;
  ProgressDlg Progress;
  // The elevated instance's own file, held open from its start.
  std::shared_ptr<const InstallerFile> installer_;
  // The folder the elevated instance is to make for its payload.
  std::wstring elevatedTarget_;
  // The folder the elevated instance made for its payload.
  std::wstring elevatedFolder_;
};

// The process exit code of a run: its status when that is a failure, else the
// exit code the tasks reported.
[[nodiscard]] std::uint32_t RunExitCode(velmora::VMStatus status, std::uint32_t exitCode);
