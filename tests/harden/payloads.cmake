# SPDX-License-Identifier: Apache-2.0
# The payload side of the hardening campaign: damaged archives, hostile item
# names and resource limits through real stubs. Quick by default; with
# VM_HARDEN_SCALE=full in the environment (scripts/harden) at full scale.
set(VM_HARDEN_CASES ${CMAKE_BINARY_DIR}/harden-payload-cases)
add_custom_command(OUTPUT ${VM_HARDEN_CASES}/made
  COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/harden/make_payload_cases.py ${VM_HARDEN_CASES}
  COMMAND ${CMAKE_COMMAND} -E touch ${VM_HARDEN_CASES}/made
  DEPENDS harden/make_payload_cases.py tools/seven_zip_writer.py
  COMMENT "Making the payload hardening cases")
add_custom_target(harden_payload_cases ALL DEPENDS ${VM_HARDEN_CASES}/made)

add_executable(harden_payloads harden/payload_campaigns.cpp harden/seven_zip_damage.cpp harden/drive_snapshot.cpp)
target_link_libraries(harden_payloads PRIVATE velmora test_tools gtest)
target_compile_options(harden_payloads PRIVATE ${VM_OWN_WARNINGS})
add_dependencies(harden_payloads vm-sfxstub harden_payload_cases)

# name, gtest case, timeout at full scale (seconds)
foreach(campaign "corrupt;CorruptPayloads;21600" "names;HostileNames;1800" "limits;ResourceLimits;1800")
  list(GET campaign 0 name)
  list(GET campaign 1 test)
  list(GET campaign 2 timeout)
  set(command harden_payloads --stub=$<TARGET_FILE:vm-sfxstub> --cases=${VM_HARDEN_CASES}
      --gtest_filter=PayloadCampaign.${test})
  add_test(NAME harden_payloads_${name} COMMAND ${command})
  set_tests_properties(harden_payloads_${name} PROPERTIES LABELS harden TIMEOUT ${timeout})
  if(VM_WINE_WIN32)
    add_test(NAME harden_payloads_${name}.win32 COMMAND ${command})
    set_tests_properties(harden_payloads_${name}.win32 PROPERTIES LABELS harden TIMEOUT ${timeout}
                         ENVIRONMENT VM_WINE_PREFIX=win32)
  endif()
endforeach()
