# SPDX-License-Identifier: Apache-2.0
# The support room: what every program of the project shares. The Linux
# packer takes the parts that do not ask Windows, and the other half of each
# pair (cmake/rooms.cmake).
vm_room_sources(vm_support_sources
  vm_cmd_line_parser.cpp
  vm_formatter.cpp
  vm_language_tag.cpp
  vm_trace.cpp
  vm_ui_language_choice.cpp
  vm_xml_document.cpp
  WINDOWS
  entry_identity.cpp
  vm_language_info_windows.cpp
  vm_status_windows.cpp
  vm_utf_convert_windows.cpp
  vm_win_architecture.cpp
  vm_win_crash_dump.cpp
  vm_win_environment.cpp
  vm_win_final_path.cpp
  vm_win_guid.cpp
  vm_win_long_path.cpp
  vm_win_module_file_name.cpp
  vm_win_system_environment.cpp
  vm_win_system_library.cpp
  vm_win_ui_language_mgr.cpp
  vm_win_wow64_fs_redirection.cpp
  POSIX
  vm_language_info_posix.cpp
  vm_status_posix.cpp
  vm_utf_convert_posix.cpp)
