# SPDX-License-Identifier: Apache-2.0
# The app room: the stub's run sequence, and apart from it the program's
# entry point and import table, which only the stub's image has.
vm_room_sources(vm_app_sources
  app.cpp
  cmd_line.cpp
  error_message.cpp
  message_window.cpp
  process_setup.cpp
  relaunch_arguments.cpp)
vm_room_sources(vm_app_entry_sources
  main.cpp
  system_imports.cpp
  terminate_handler.cpp)
