# SPDX-License-Identifier: Apache-2.0
# The tasks room: the task worker, the stub's three tasks and the extraction
# engine.
vm_room_sources(vm_tasks_sources
  delete_extracted_files.cpp
  execute_launch_command.cpp
  extract_callback.cpp
  extract_files.cpp
  extraction_record.cpp
  launch_command.cpp
  output_file.cpp
  payload_digest_check.cpp
  process_tree_job.cpp
  task_worker.cpp)
