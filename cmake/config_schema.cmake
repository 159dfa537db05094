# SPDX-License-Identifier: Apache-2.0
# Writes generated/config_schema.h into the build folder: the schema the
# project ships (schema/sfx-config.xsd) as one text in the packer. The packer
# reads the elements and attributes of the format from it, so that its notes
# and an editor's checks come from one description. CMake configures again
# whenever the schema changes.
set(vm_schema_file ${CMAKE_CURRENT_LIST_DIR}/../schema/sfx-config.xsd)
file(READ ${vm_schema_file} VM_CONFIG_SCHEMA)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${vm_schema_file})
configure_file(${CMAKE_CURRENT_LIST_DIR}/config_schema.h.in ${CMAKE_BINARY_DIR}/generated/config_schema.h @ONLY)
