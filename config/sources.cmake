# SPDX-License-Identifier: Apache-2.0
# The config room: the configuration loader, without any user interface, so
# that the packer checks a document with the stub's own rules.
vm_room_sources(vm_config_sources
  cfg.cpp
  known_folder.cpp
  language_mgr.cpp
  launch_choice.cpp
  WINDOWS
  target_path_windows.cpp
  POSIX
  target_path_posix.cpp)
