# SPDX-License-Identifier: Apache-2.0
# The payload room: what both programs accept and read of a payload. The
# archive library's threading layer is a library of its own in the stub's
# build, since it has to follow the archive library on every link line.
vm_room_sources(vm_payload_sources
  archive_item_path.cpp
  item_path.cpp
  payload_digest.cpp
  WINDOWS
  handle_in_stream.cpp
  installer_file.cpp
  payload_start.cpp)
vm_room_sources(vm_payload_threads_sources WINDOWS archive_threads.cpp)
