// SPDX-License-Identifier: Apache-2.0
// The task phase of a run, with real threads, a real message window and the
// real progress dialog, over tasks that record what happened to them.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <vector>

#include "app/app.h"
#include "support/vm_handle.h"
#include "tasks/task.h"

namespace {

using velmora::VMStatus;

struct Journal {
  std::vector<int> Ran;  // task numbers in the order their run() began
  std::vector<DWORD> StartTicks;
};

class RecordingTask final : public Task {
 public:
  struct Behaviour {
    int Number = 0;
    VMStatus Result = 0;
    std::uint32_t ExitCode = 0;
    DWORD WorkMs = 0;
    bool HideProgress = true;
    bool RunAfterFailure = false;
    std::uint32_t MinimumDurationMs = 0;
    // Set by the test: the progress window whose visibility run() checks.
    const App* Owner = nullptr;
  };

  RecordingTask(Journal& journal, const Behaviour& behaviour) : journal_(journal), behaviour_(behaviour) {
    HideProgress = behaviour.HideProgress;
    RunAfterFailure = behaviour.RunAfterFailure;
    MinimumDurationMs = behaviour.MinimumDurationMs;
  }

  VMStatus run(std::uint32_t& exitCodeOut) override {
    journal_.Ran.push_back(behaviour_.Number);
    journal_.StartTicks.push_back(GetTickCount());
    if (behaviour_.Owner != nullptr) SawExpectedVisibility = WaitForVisibility(!HideProgress);
    if (behaviour_.WorkMs != 0) Sleep(behaviour_.WorkMs);
    exitCodeOut = behaviour_.ExitCode;
    return behaviour_.Result;
  }

  bool SawExpectedVisibility = false;

 private:
  // The show/hide message is posted before run(), so the user-interface
  // thread brings the dialog into this task's state while it runs. Had it been
  // posted after run(), the dialog would keep the previous task's state for
  // as long as this waits. Wine can take a second to withdraw a window from
  // the X server, more under emulation, hence the generous limit.
  bool WaitForVisibility(bool visible) const {
    for (int i = 0; i < 500; ++i) {
      if ((IsWindowVisible(behaviour_.Owner->ProgressWindow()) != FALSE) == visible) return true;
      Sleep(20);
    }
    return false;
  }

  Journal& journal_;
  Behaviour behaviour_;
};

struct RunOutcome {
  VMStatus Status = 0;
  std::uint32_t ExitCode = 0;
};

class TaskPhase : public ::testing::Test {
 protected:
  std::shared_ptr<RecordingTask> Add(RecordingTask::Behaviour behaviour) {
    behaviour.Number = static_cast<int>(app_.Tasks().size());
    auto task = std::make_shared<RecordingTask>(journal_, behaviour);
    app_.Tasks().push_back(task);
    return task;
  }

  RunOutcome Run() {
    RunOutcome outcome;
    outcome.Status = app_.RunTasks(outcome.ExitCode);
    return outcome;
  }

  App app_{GetModuleHandleW(nullptr)};
  Journal journal_;
};

TEST_F(TaskPhase, EmptyListEndsWithSuccess) {
  const RunOutcome outcome = Run();
  EXPECT_EQ(outcome.Status, 0u);
  EXPECT_EQ(outcome.ExitCode, 0u);
  EXPECT_EQ(app_.ProgressWindow(), nullptr) << "the dialog is destroyed when the phase ends";
}

TEST_F(TaskPhase, TasksRunInListOrder) {
  for (int i = 0; i < 4; ++i) Add({});
  const RunOutcome outcome = Run();
  EXPECT_EQ(outcome.Status, 0u);
  EXPECT_EQ(journal_.Ran, (std::vector<int>{0, 1, 2, 3}));
}

TEST_F(TaskPhase, FailureSkipsLaterTasksExceptThoseThatRunAfterFailure) {
  Add({});
  Add({.Result = ERROR_ACCESS_DENIED});
  Add({});
  Add({.Result = 0xEE000001, .RunAfterFailure = true});
  Add({.RunAfterFailure = true});
  const RunOutcome outcome = Run();
  EXPECT_EQ(outcome.Status, static_cast<VMStatus>(ERROR_ACCESS_DENIED)) << "the first failure wins";
  EXPECT_EQ(journal_.Ran, (std::vector<int>{0, 1, 3, 4}));
}

TEST_F(TaskPhase, FirstNonZeroExitCodeWinsEvenFromAFailingTask) {
  Add({.ExitCode = 0});
  Add({.Result = 0xEE000001, .ExitCode = 42});
  Add({.ExitCode = 43, .RunAfterFailure = true});
  const RunOutcome outcome = Run();
  EXPECT_EQ(outcome.Status, 0xEE000001u);
  EXPECT_EQ(outcome.ExitCode, 42u);
  EXPECT_EQ(RunExitCode(outcome.Status, outcome.ExitCode), 0xEE000001u) << "a failure outranks the exit code";
}

TEST_F(TaskPhase, ExitCodeOfASuccessfulRunIsTheProcessExitCode) {
  Add({});
  Add({.ExitCode = 3010});
  Add({.ExitCode = 1});
  const RunOutcome outcome = Run();
  EXPECT_EQ(outcome.Status, 0u);
  EXPECT_EQ(RunExitCode(outcome.Status, outcome.ExitCode), 3010u);
}

TEST_F(TaskPhase, MinimumDurationHoldsTheNextTaskBack) {
  Add({.WorkMs = 200, .MinimumDurationMs = 1000});
  Add({});
  ASSERT_EQ(Run().Status, 0u);
  ASSERT_EQ(journal_.StartTicks.size(), 2u);
  const DWORD gap = journal_.StartTicks[1] - journal_.StartTicks[0];
  EXPECT_GE(gap, 1000u);
  // An upper bound only catches a wait that forgets to end; a loaded or
  // emulated machine may lag by seconds, so the bound is generous.
  EXPECT_LE(gap, 6000u) << "the wait ends once the minimum has passed";
}

TEST_F(TaskPhase, ProgressDialogFollowsEachTaskBeforeItRuns) {
  std::vector<std::shared_ptr<RecordingTask>> tasks;
  for (bool hide : {false, true, false, true}) tasks.push_back(Add({.HideProgress = hide, .Owner = &app_}));
  ASSERT_EQ(Run().Status, 0u);
  for (std::size_t i = 0; i < tasks.size(); ++i) {
    EXPECT_TRUE(tasks[i]->SawExpectedVisibility) << "task " << i;
  }
}

class BlockingTask final : public Task {
 public:
  VMStatus run(std::uint32_t& exitCodeOut) override {
    exitCodeOut = 0;
    WaitForSingleObject(Release.get(), INFINITE);
    return 0;
  }
  velmora::VMUniqueKernelHandle Release{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

TEST(TaskWorker, SecondStartWhileRunningIsRefused) {
  TaskWorker worker;
  auto task = std::make_shared<BlockingTask>();
  worker.Tasks().push_back(task);
  ASSERT_EQ(worker.Start(nullptr), 0u);
  EXPECT_EQ(worker.Start(nullptr), 0xEE000008u);

  VMStatus runStatus = 1;
  EXPECT_FALSE(worker.Poll(runStatus)) << "a running worker with nothing published is left alone";
  SetEvent(task->Release.get());
  EXPECT_EQ(worker.Join(), 0u);
  EXPECT_EQ(worker.GetWorkerState(), WorkerStateCode::Joined);
  EXPECT_TRUE(worker.Poll(runStatus));
  EXPECT_EQ(runStatus, 0u);
}

}  // namespace
