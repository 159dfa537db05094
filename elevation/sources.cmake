# SPDX-License-Identifier: Apache-2.0
# The elevation room: the elevated run of the stub and its protocol.
vm_room_sources(vm_elevation_sources
  elevated_folder.cpp
  elevated_process.cpp
  execute_elevated_command.cpp
  machine_class.cpp
  relaunch_elevated.cpp)
