# SPDX-License-Identifier: Apache-2.0
# Writes generated/vm_commit.h into the build folder: the commit the sources
# come from, for vm-sfxpack --version, and the project's version read from
# project(VERSION) of the top CMakeLists.txt (the Linux packer's build is a
# project of its own). The commit is read when CMake configures, and again
# after every commit, checkout or merge, since git appends to logs/HEAD then.
# Sources outside a git repository say "unknown".
set(vm_commit_root ${CMAKE_CURRENT_LIST_DIR}/..)
file(STRINGS ${vm_commit_root}/CMakeLists.txt vm_project_line REGEX "^project\\(vm-sfxstub VERSION ")
string(REGEX MATCH "VERSION ([0-9.]+)" vm_match "${vm_project_line}")
set(VM_PROJECT_VERSION ${CMAKE_MATCH_1})
execute_process(COMMAND git rev-parse --short=12 HEAD WORKING_DIRECTORY ${vm_commit_root}
                OUTPUT_VARIABLE VM_COMMIT OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE vm_git_failed)
if(vm_git_failed OR NOT VM_COMMIT)
  set(VM_COMMIT unknown)
else()
  execute_process(COMMAND git rev-parse --path-format=absolute --git-path logs/HEAD WORKING_DIRECTORY ${vm_commit_root}
                  OUTPUT_VARIABLE vm_head_log OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(EXISTS "${vm_head_log}")
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${vm_head_log})
  endif()
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/vm_commit.h.in ${CMAKE_BINARY_DIR}/generated/vm_commit.h @ONLY)
