// SPDX-License-Identifier: Apache-2.0
#include "app/app.h"

#include <memory>

#include "app/cmd_line.h"
#include "app/relaunch_arguments.h"
#include "config/cfg.h"
#include "config/language_mgr.h"
#include "config/launch_choice.h"
#include "config/stub_status.h"
#include "elevation/elevated_folder.h"
#include "elevation/execute_elevated_command.h"
#include "elevation/relaunch_elevated.h"
#include "support/vm_scope_exit.h"
#include "tasks/delete_extracted_files.h"
#include "tasks/execute_launch_command.h"
#include "tasks/extract_files.h"
#include "ui/extract_to_dlg.h"
#include "ui/language_dlg.h"

using velmora::VMStatus;
namespace status = velmora::status;

namespace {

constexpr UINT_PTR kPollTimerId = 1;
constexpr UINT kPollIntervalMs = 100;
// A shown progress dialog stays this long during a launch stub's
// extraction, so that a fast one does not flash a window.
constexpr std::uint32_t kLaunchExtractMinimumMs = 1000;

// `--gui on` forces a dialog, `--gui off` suppresses it, otherwise the
// configuration decides.
bool DialogWanted(bool enabledByConfiguration) {
  switch (CmdLine::Current().GuiMode) {
    case CmdLine::SFXGuiMode::On: return true;
    case CmdLine::SFXGuiMode::Off: return false;
    default: return enabledByConfiguration;
  }
}

bool ProgressHidden(bool enabledByConfiguration) {
  const CmdLine::SFXGuiMode mode = CmdLine::Current().GuiMode;
  return mode == CmdLine::SFXGuiMode::Off ||
         (mode == CmdLine::SFXGuiMode::NotGiven && !enabledByConfiguration);
}

// The extract-to dialog, prefilled with `folder`: IDOK when the user accepted
// (`folder` is then what the dialog held), IDCANCEL when cancelled, 0 or -1
// when it could not be shown.
INT_PTR ShowExtractToDialog(HINSTANCE instance, std::wstring& folder) {
  ExtractToDlg dialog;
  dialog.Path = folder;
  const INT_PTR result = dialog.ShowModal(instance, GetActiveWindow(), TheCfg().Title);
  if (result == IDOK) folder = std::move(dialog.Path);
  return result;
}

bool IsInternal() { return CmdLine::Current().InternalMode == CmdLine::SFXInternalMode::Internal; }

// The --target folder, made absolute once, before anything uses it: the
// extraction, the command's working folder and the clean-up must name one
// place whatever the current folder is when each of them runs.
std::wstring CommandLineTarget() {
  const std::wstring& given = CmdLine::Current().TargetPath.native();
  if (given.empty()) return given;
  const DWORD size = GetFullPathNameW(given.c_str(), 0, nullptr, nullptr);
  if (size == 0) return given;
  std::wstring full(size, L'\0');
  const DWORD length = GetFullPathNameW(given.c_str(), size, full.data(), nullptr);
  if (length == 0 || length >= size) return given;
  full.resize(length);
  return full;
}

}  // namespace

std::uint32_t RunExitCode(VMStatus runStatus, std::uint32_t exitCode) {
  return runStatus != status::Ok ? runStatus : exitCode;
}

App::App(HINSTANCE instance) : instance_(instance), Window(instance, *this) {}

VMStatus App::Run(std::uint32_t& exitCodeOut) {
  exitCodeOut = 0;
  VM_RETURN_IF_FAILED(PrepareTasks());
  const VMStatus result = RunTasks(exitCodeOut);
  // The elevated run's folder when no task came to use it (the task phase
  // failed to start); one that still holds files is the clean-up's.
  if (!elevatedFolder_.empty()) RemoveDirectoryW(elevatedFolder_.c_str());
  return result;
}

VMStatus App::PrepareTasks() {
  // The elevated instance holds its own file from its start, so that what
  // it unpacks is the payload of the file the user approved.
  if (IsInternal()) {
    auto installer = std::make_shared<InstallerFile>();
    VM_RETURN_IF_FAILED(installer->Open());
    installer_ = std::move(installer);
  }
  VM_RETURN_IF_FAILED(LoadConfiguration());
  return BuildTaskList();
}

VMStatus App::BuildTaskList() {
  const Cfg& cfg = TheCfg();
  if (!HasWorkForThisMachine(cfg)) return stub_status::PlatformNotSupported;
  std::wstring tag;
  if (cfg.Launch) VM_RETURN_IF_FAILED(ChooseLanguage(*cfg.Launch, tag));
  Tasks().clear();
  if (cfg.Extract) {
    // Internal mode is the elevated instance of a launch stub's elevated
    // Command and nothing else.
    if (IsInternal()) return stub_status::InvalidCommandLine;
    return AddExtractTasks(*cfg.Extract);
  }
  return AddLaunchTasks(*cfg.Launch, tag);
}

VMStatus App::LoadConfiguration() {
  const VMStatus loaded = LoadConfigurationResource();
  // An image without a document is a plain self-extracting archive.
  if (loaded == stub_status::ConfigurationMissing) return InstallDefaultConfiguration(L"");
  return loaded;
}

VMStatus App::AddExtractTasks(const CfgExtract& extract) {
  const CmdLine::Values& cmd = CmdLine::Current();
  std::wstring target = cmd.TargetPath.empty() ? extract.TargetPath : CommandLineTarget();
  if (DialogWanted(extract.FolderSelectionDialogEnabled)) {
    // A dialog that could not be shown (0 or -1) leaves the folder as it is
    // rather than ending a run that needs no answer from the user.
    const INT_PTR choice = ShowExtractToDialog(instance_, target);
    if (choice > IDOK) return status::Cancelled;
  }
  auto task = MakeTask<ExtractFiles>();
  // With a record, an extraction that fails part-way removes what it made.
  task->Record = std::make_shared<ExtractionRecord>();
  task->TargetFolder = std::move(target);
  task->HideProgress = ProgressHidden(extract.ProgressDialogEnabled);
  Tasks().push_back(std::move(task));
  return status::Ok;
}

VMStatus App::ChooseLanguage(const CfgLaunch& launch, std::wstring& tag) {
  tag.clear();
  const CfgOptions& options = *launch.Options;
  if (options.HasLanguageNeutralOption) return status::Ok;
  LanguageMgr languages(options);
  VM_RETURN_IF_FAILED(languages.LoadAvailableLanguages());
  VM_RETURN_IF_FAILED(languages.SelectByUserUiLanguage());
  const CmdLine::Values& cmd = CmdLine::Current();
  if (!cmd.LanguageTag.empty()) {
    // Exact, letter case included: the tag names one entry as the document
    // writes it.
    if (languages.SelectByTag(cmd.LanguageTag) != status::Ok) return stub_status::InvalidCommandLine;
  } else if (DialogWanted(launch.LanguageSelectionDialogEnabled)) {
    // Whatever the dialog returns, the manager's selection is the answer; a
    // dialog that could not be shown leaves the preselection.
    LanguageDlg dialog(languages);
    (void)dialog.ShowModal(instance_, GetActiveWindow(), TheCfg().Title);
  }
  tag = languages.SelectedLanguage.Tag;
  return tag.empty() ? status::NoUniqueMatch : status::Ok;
}

VMStatus App::AddLaunchTasks(const CfgLaunch& launch, const std::wstring& tag) {
  const CmdLine::Values& cmd = CmdLine::Current();
  const bool internal = IsInternal();
  const bool hideProgress = ProgressHidden(launch.ProgressDialogEnabled);

  std::shared_ptr<CfgOption> option;
  VM_RETURN_IF_FAILED(ChooseOption(*launch.Options, tag, option));
  std::shared_ptr<CfgCommand> command;
  VM_RETURN_IF_FAILED(ChooseCommand(*option, cmd.CommandId, command));
  if (internal) VM_RETURN_IF_FAILED(CheckInternalModeCommand(*command));

  // An elevated Command: this instance unpacks nothing. It starts itself
  // elevated with what it has settled, waits and ends with that instance's
  // exit code; the elevated instance unpacks for itself.
  if (IsElevatedCommand(*command) && !internal) {
    auto relaunch = MakeTask<RelaunchElevated>();
    relaunch->HideProgress = true;
    relaunch->RelaunchArguments = ComposeRelaunchArguments(tag, cmd.GuiMode, command->Id, cmd.PassthroughText);
    Tasks().push_back(std::move(relaunch));
    return status::Ok;
  }

  // The clean-up removes what the extraction made and nothing else.
  const auto record = std::make_shared<ExtractionRecord>();
  record->KeepExisting = true;
  std::wstring target;
  if (internal) {
    // The elevated instance uses no folder it did not make itself: a
    // --target given to it is ignored, since any program may start the
    // installer with one and have the user approve it.
    target = elevatedTarget_;
    VM_RETURN_IF_FAILED(CreateElevatedFolder(target));
    elevatedFolder_ = target;
    record->AddFolder(target);
    record->KeepFilesLocked = true;
  } else {
    target = cmd.TargetPath.empty() ? launch.TargetPath : CommandLineTarget();
  }

  auto extract = MakeTask<ExtractFiles>();
  extract->Record = record;
  extract->Source = installer_;
  extract->RequirePayloadDigest = internal;
  extract->TargetFolder = target;
  extract->HideProgress = hideProgress;
  extract->MinimumDurationMs = hideProgress ? 0 : kLaunchExtractMinimumMs;
  Tasks().push_back(std::move(extract));

  // A CreateProcess Command always waits; a shell one where it says so.
  const LaunchMode mode = command->UseCreateProcess ? LaunchMode::CreateProcessAndWait
                          : command->Wait           ? LaunchMode::ShellExecuteAndWait
                                                    : LaunchMode::ShellExecuteNoWait;
  const bool waits = mode != LaunchMode::ShellExecuteNoWait;
  std::shared_ptr<LaunchCommand> launchTask;
  if (internal) {
    auto elevated = MakeTask<ExecuteElevatedCommand>();
    elevated->Wait = waits;
    launchTask = std::move(elevated);
  } else {
    auto unelevated = MakeTask<ExecuteLaunchCommand>();
    unelevated->Mode = mode;
    launchTask = std::move(unelevated);
  }
  launchTask->Executable = command->Executable;
  launchTask->Arguments = command->Arguments;
  if (!cmd.PassthroughText.empty()) launchTask->Arguments += L" " + cmd.PassthroughText;
  launchTask->HideProgress = true;
  launchTask->LanguageTag = tag;
  launchTask->TargetFolder = target;
  // Here the task waits for the program itself, so it can wait for the
  // program's whole tree; the first instance of an elevated run waits for
  // the elevated one, which does that.
  launchTask->WaitForProcessTree = command->WaitForProcessTree;
  Tasks().push_back(std::move(launchTask));

  // A program nobody waits for may still be reading the files.
  if (waits) {
    auto cleanup = MakeTask<DeleteExtractedFiles>();
    cleanup->TargetFolder = target;
    cleanup->Record = record;
    cleanup->HideProgress = true;
    cleanup->RunAfterFailure = true;
    Tasks().push_back(std::move(cleanup));
  }
  return status::Ok;
}

VMStatus App::RunTasks(std::uint32_t& exitCodeOut) {
  exitCodeOut = 0;
  quitPosted_ = false;
  // Every window of the task phase is gone when this returns, on every path.
  velmora::VMScopeExit cleanup([this] {
    StopTimer();
    Window.Destroy();
    Progress.Destroy();
  });
  VM_RETURN_IF_FAILED(Progress.Create(instance_, nullptr, TheCfg().Title));
  // The first instance starts the elevated one hidden, and Windows applies a
  // starter's show value to a program's first ShowWindow: spent here on the
  // hidden dialog, so that its progress shows when the extraction shows it.
  if (IsInternal()) ShowWindow(Progress.Handle(), SW_HIDE);
  VM_RETURN_IF_FAILED(Window.Create());
  timerId_ = SetTimer(Window.Handle(), kPollTimerId, kPollIntervalMs, nullptr);
  VM_RETURN_LAST_ERROR_IF(timerId_ == 0);
  VM_RETURN_IF_FAILED(Worker.Start(Window.Handle()));

  const VMStatus runStatus = RunMessageLoop();
  exitCodeOut = Worker.GetExitCode();
  return runStatus;
}

VMStatus App::RunMessageLoop() {
  MSG message;
  for (;;) {
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got == 0) return static_cast<VMStatus>(message.wParam);
    if (got == -1) continue;
    if (Progress.Handle() != nullptr && IsDialogMessageW(Progress.Handle(), &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

void App::StopTimer() {
  if (timerId_ != 0) {
    KillTimer(Window.Handle(), kPollTimerId);
    timerId_ = 0;
  }
}

LRESULT App::HandleMessage(UINT message, WPARAM wParam, LPARAM /*lParam*/) {
  if (message == WM_TIMER) {
    VMStatus runStatus = status::Ok;
    if (wParam == kPollTimerId && !quitPosted_ && Worker.Poll(runStatus)) {
      quitPosted_ = true;
      PostQuitMessage(static_cast<int>(runStatus));
    }
  } else if (message == WM_TASK_PROGRESS && Progress.Handle() != nullptr) {
    ShowWindow(Progress.Handle(), wParam != 0 ? SW_SHOWNORMAL : SW_HIDE);
  }
  return 0;
}
