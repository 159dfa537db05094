# SPDX-License-Identifier: Apache-2.0
# The packer room: its command line and three operations at the top, the PE
# and resource code in pe/, the archive side in archive/. The parts that ask
# the system come in a Windows and a POSIX half.
vm_room_sources(vm_packer_sources
  config_check.cpp
  explain.cpp
  input_file.cpp
  installer_writer.cpp
  pack.cpp
  pack_options.cpp
  packer_run.cpp
  progress.cpp
  progress_terminal.cpp
  schema_notes.cpp
  status_text.cpp
  verify.cpp
  xml_mistake.cpp
  archive/archive_access.cpp
  archive/archive_digest.cpp
  archive/folder_archive.cpp
  archive/folder_level.cpp
  archive/item_names.cpp
  archive/lzma2_blocks.cpp
  archive/payload_check.cpp
  pe/icon_resource.cpp
  pe/pe_resources.cpp
  pe/version_resource.cpp
  WINDOWS
  file_system_windows.cpp
  input_file_open_windows.cpp
  archive/folder_scan_windows.cpp
  POSIX
  file_system_posix.cpp
  input_file_open_posix.cpp
  archive/folder_scan_posix.cpp)
vm_room_sources(vm_packer_main_sources WINDOWS main_windows.cpp POSIX main_posix.cpp)
