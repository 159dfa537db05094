// SPDX-License-Identifier: Apache-2.0
// Handle owners: they release exactly once and never disturb the error that
// an error path is about to return.
#include <gtest/gtest.h>

#include "support/vm_handle.h"
#include "support/vm_scope_exit.h"
#include "support/vm_status.h"

namespace {

using velmora::VMUniqueKernelHandle;

HANDLE NewEvent() { return CreateEventW(nullptr, TRUE, FALSE, nullptr); }

bool IsOpen(HANDLE handle) {
  DWORD flags = 0;
  return GetHandleInformation(handle, &flags) != FALSE;
}

TEST(VMUniqueHandle, ReleaseKeepsTheLastError) {
  VMUniqueKernelHandle owner(NewEvent());
  ASSERT_TRUE(owner);
  SetLastError(ERROR_DISK_FULL);
  owner.reset();
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
  EXPECT_FALSE(owner);
}

TEST(VMUniqueHandle, PutReleasesTheOldHandleFirst) {
  VMUniqueKernelHandle owner(NewEvent());
  const HANDLE old = owner.get();
  *owner.put() = NewEvent();
  EXPECT_FALSE(IsOpen(old));
  EXPECT_TRUE(IsOpen(owner.get()));
}

TEST(VMUniqueHandle, MoveTransfersOwnership) {
  VMUniqueKernelHandle first(NewEvent());
  const HANDLE handle = first.get();
  VMUniqueKernelHandle second(std::move(first));
  EXPECT_FALSE(first);
  EXPECT_EQ(second.get(), handle);
  VMUniqueKernelHandle third;
  third = std::move(second);
  EXPECT_TRUE(IsOpen(handle));
  third.reset();
  EXPECT_FALSE(IsOpen(handle));
}

TEST(VMUniqueHandle, FileOwnerTreatsInvalidHandleValueAsEmpty) {
  velmora::VMUniqueFile file(CreateFileW(L"Z:\\no\\such\\folder\\file", GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                         0, nullptr));
  EXPECT_FALSE(file);
  EXPECT_EQ(file.get(), INVALID_HANDLE_VALUE);
}

TEST(Status, LastErrorNeverTurnsAFailureIntoSuccess) {
  SetLastError(ERROR_SUCCESS);
  EXPECT_EQ(velmora::LastErrorOr(), velmora::status::Failed);
  EXPECT_EQ(velmora::LastErrorOr(0xEE002002), 0xEE002002u);
  SetLastError(ERROR_ACCESS_DENIED);
  EXPECT_EQ(velmora::LastErrorOr(), static_cast<velmora::VMStatus>(ERROR_ACCESS_DENIED));
}

TEST(VMScopeExit, RunsUnlessDismissed) {
  int runs = 0;
  {
    velmora::VMScopeExit cleanup([&] { ++runs; });
  }
  {
    velmora::VMScopeExit cleanup([&] { ++runs; });
    cleanup.Dismiss();
  }
  EXPECT_EQ(runs, 1);
}

}  // namespace
