# SPDX-License-Identifier: Apache-2.0
# Keeps schema/sfx-config.xsd in step with the stub's loader: the examples and
# the accepted documents validate, every rejected document fails, and the
# schema knows exactly the known-folder names that the stub resolves.
#
#   cmake -DXMLLINT=/usr/bin/xmllint -DSOURCE_DIR=<repository> -P check_schema.cmake
#
# Each rejected document names on its first line the rule it breaks and the
# status the stub gives it: <!-- rejected: two Extract sections; 0xEE000051 -->
cmake_minimum_required(VERSION 3.25)

set(schema ${SOURCE_DIR}/schema/sfx-config.xsd)
set(failures "")

# Runs xmllint on one document; `rc` receives its exit code (0 valid, 1 not
# well-formed, 3 invalid, 5 the schema itself does not compile).
function(validate file rc_var out_var)
  execute_process(COMMAND ${XMLLINT} --noout --schema ${schema} ${file}
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  set(${rc_var} ${rc} PARENT_SCOPE)
  set(${out_var} "${out}" PARENT_SCOPE)
endfunction()

# The folder names of the path values: the schema lists the table of
# config/known_folder.cpp, no more and no less.
file(STRINGS ${SOURCE_DIR}/config/known_folder.cpp table_lines REGEX "^ *VM_FOLDER\\([A-Za-z0-9_]+\\),")
set(table_names "")
foreach(line IN LISTS table_lines)
  string(REGEX REPLACE "^ *VM_FOLDER\\(([A-Za-z0-9_]+)\\).*" "\\1" name "${line}")
  list(APPEND table_names ${name})
endforeach()
file(STRINGS ${schema} schema_lines REGEX "\\{FOLDERID_[A-Za-z0-9_]+\\\\}")
set(schema_names "")
foreach(line IN LISTS schema_lines)
  string(REGEX REPLACE ".*\\{FOLDERID_([A-Za-z0-9_]+)\\\\}.*" "\\1" name "${line}")
  list(APPEND schema_names ${name})
endforeach()
list(LENGTH table_names table_count)
if(table_count EQUAL 0)
  list(APPEND failures "no known-folder names found in config/known_folder.cpp")
endif()
set(only_in_table ${table_names})
list(REMOVE_ITEM only_in_table ${schema_names})
set(only_in_schema ${schema_names})
list(REMOVE_ITEM only_in_schema ${table_names})
if(only_in_table)
  list(APPEND failures "known folders missing from the schema: ${only_in_table}")
endif()
if(only_in_schema)
  list(APPEND failures "known folders the stub does not resolve: ${only_in_schema}")
endif()

file(GLOB accepted ${SOURCE_DIR}/examples/*.xml ${SOURCE_DIR}/tests/config/accepted/*.xml)
file(GLOB rejected ${SOURCE_DIR}/tests/config/rejected/*.xml)
if(NOT accepted OR NOT rejected)
  list(APPEND failures "no documents found under ${SOURCE_DIR}")
endif()

foreach(file IN LISTS accepted)
  validate(${file} rc out)
  if(NOT rc EQUAL 0)
    list(APPEND failures "${file} should validate (xmllint exit ${rc}):\n${out}")
  endif()
endforeach()

foreach(file IN LISTS rejected)
  file(STRINGS ${file} first LIMIT_COUNT 1)
  if(NOT first MATCHES "^<!-- rejected: [^;]+; (0xEE[0-9A-F]+) -->$")
    list(APPEND failures "${file}: the first line must name the rule and the stub's status")
    continue()
  endif()
  # A document that is not well-formed XML never reaches the schema.
  if(CMAKE_MATCH_1 STREQUAL "0xEE000057")
    set(expected 1)
  else()
    set(expected 3)
  endif()
  validate(${file} rc out)
  if(NOT rc EQUAL expected)
    list(APPEND failures "${file} should fail with xmllint exit ${expected}, got ${rc}:\n${out}")
  endif()
endforeach()

if(failures)
  list(JOIN failures "\n" text)
  message(FATAL_ERROR "${text}")
endif()
list(LENGTH accepted accepted_count)
list(LENGTH rejected rejected_count)
message(STATUS "${accepted_count} documents validate, ${rejected_count} are refused, ${table_count} known folders")
