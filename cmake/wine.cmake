# SPDX-License-Identifier: Apache-2.0
# Test programs are Windows programs: CTest starts them through scripts/wine-run,
# which runs them in the build tree's own Wine prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_SOURCE_DIR}/scripts/wine-run)

# The tests run on an x86 machine too whenever 32-bit Wine can run here.
execute_process(
  COMMAND bash -c "source '${CMAKE_SOURCE_DIR}/scripts/wine-env' && vm_supports_win32"
  RESULT_VARIABLE vm_win32_result OUTPUT_QUIET ERROR_QUIET)
if(vm_win32_result EQUAL 0)
  set(VM_WINE_WIN32 ON)
else()
  set(VM_WINE_WIN32 OFF)
  message(STATUS "Tests run on the x64 prefix only: 32-bit Wine cannot run here (run scripts/setup)")
endif()
