# SPDX-License-Identifier: Apache-2.0
# The ui room: the stub's dialogs.
vm_room_sources(vm_ui_sources
  center_window.cpp
  dialog.cpp
  dialog_resize.cpp
  extract_to_dlg.cpp
  language_dlg.cpp
  progress_dlg.cpp)
