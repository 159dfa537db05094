# SPDX-License-Identifier: Apache-2.0
# The source lists of the project's rooms (the folders of its code), each
# kept once in ROOM/sources.cmake and read by both builds: the Windows one
# (the top CMakeLists.txt) and the Linux packer's (host/CMakeLists.txt). Each
# build makes its own libraries from them with its own options.

# vm_room_sources(VAR FILE... [WINDOWS FILE...] [POSIX FILE...]) sets VAR to
# the files of the room whose sources.cmake calls it, as absolute paths: the
# files every system builds, and the half of each system-dependent pair that
# this build's system takes.
function(vm_room_sources var)
  cmake_parse_arguments(arg "" "" "WINDOWS;POSIX" ${ARGN})
  set(files ${arg_UNPARSED_ARGUMENTS})
  if(WIN32)
    list(APPEND files ${arg_WINDOWS})
  else()
    list(APPEND files ${arg_POSIX})
  endif()
  list(TRANSFORM files PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
  set(${var} ${files} PARENT_SCOPE)
endfunction()

foreach(room support config payload tasks elevation ui app packer)
  include(${CMAKE_CURRENT_LIST_DIR}/../${room}/sources.cmake)
endforeach()
