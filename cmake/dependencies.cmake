# SPDX-License-Identifier: Apache-2.0
# Third-party code, compiled from Debian's source packages with the same
# toolchain as the stub. scripts/setup unpacks the sources into VM_DEPS_DIR.

set(tinyxml2_dir ${VM_DEPS_DIR}/tinyxml2)
if(NOT EXISTS ${tinyxml2_dir}/tinyxml2.cpp)
  message(FATAL_ERROR "tinyxml2 sources missing in ${tinyxml2_dir}: run scripts/setup")
endif()
add_library(tinyxml2 STATIC ${tinyxml2_dir}/tinyxml2.cpp)
target_include_directories(tinyxml2 SYSTEM PUBLIC ${tinyxml2_dir})
# Its error texts and number conversions use the printf and scanf families.
# The C runtime DLL's own versions cost the stub nothing; MinGW's portable
# replacements would add their whole formatting engines.
# libstdc++ switches the replacements on in every C++ file, so <stdio.h> is
# read first, before any C++ header can.
target_compile_definitions(tinyxml2 PRIVATE __USE_MINGW_ANSI_STDIO=0)
target_compile_options(tinyxml2 PRIVATE -include stdio.h ${VM_NO_EXCEPTIONS} ${VM_STUB_LTO})

# GoogleTest from Debian's googletest package.
set(googletest_dir /usr/src/googletest)
if(NOT EXISTS ${googletest_dir}/googletest/src/gtest-all.cc)
  message(FATAL_ERROR "GoogleTest sources missing in ${googletest_dir}: run scripts/setup")
endif()
add_library(gtest STATIC ${googletest_dir}/googletest/src/gtest-all.cc)
# Our platform hook comes first, so GoogleTest finds it instead of its own.
target_include_directories(gtest SYSTEM BEFORE PUBLIC ${CMAKE_SOURCE_DIR}/tests/gtest_port)
target_include_directories(gtest SYSTEM PUBLIC ${googletest_dir}/googletest/include
                                        PRIVATE ${googletest_dir}/googletest)
add_library(gtest_main STATIC ${googletest_dir}/googletest/src/gtest_main.cc)
target_link_libraries(gtest_main PUBLIC gtest)
