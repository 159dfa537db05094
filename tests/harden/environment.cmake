# SPDX-License-Identifier: Apache-2.0
# Installers in hostile surroundings: damaged documents, planted libraries,
# faults of the disk and the temporary folder, unusual names, many files.
# Quick by default, large with VM_HARDEN_SCALE=full (scripts/harden).

# `name` (and `name`.win32) runs `program` with the arguments that follow,
# labelled harden.
function(vm_add_environment_entry name program)
  add_test(NAME ${name} COMMAND ${program} ${ARGN})
  set_tests_properties(${name} PROPERTIES LABELS harden TIMEOUT 5400)
  if(VM_WINE_WIN32)
    add_test(NAME ${name}.win32 COMMAND ${program} ${ARGN})
    set_tests_properties(${name}.win32 PROPERTIES LABELS harden TIMEOUT 5400 ENVIRONMENT VM_WINE_PREFIX=win32)
  endif()
endfunction()

add_executable(harden_environment_tests harden/environment_test.cpp)
target_link_libraries(harden_environment_tests PRIVATE sfxpack test_tools gtest)
target_compile_options(harden_environment_tests PRIVATE ${VM_OWN_WARNINGS})
add_dependencies(harden_environment_tests vm-sfxstub)
vm_add_environment_entry(harden_environment harden_environment_tests --stub=$<TARGET_FILE:vm-sfxstub>)
# The loader's fuzz loop and the planted libraries, taken out of their
# programs' own entries.
vm_add_environment_entry(harden_documents_loader config_tests --gtest_filter=ParseConfiguration.SurvivesMutatedDocuments)
vm_add_environment_entry(harden_planted_libraries stub_process_tests ${VM_STUB_PROCESS_ARGS}
                    --gtest_filter=StubProcess.NoLibraryBesideTheInstallerIsLoaded)
# A signed installer whose payload was changed afterwards no longer verifies.
set_tests_properties(signed_installer_verifies PROPERTIES LABELS harden)
set_tests_properties(signed_packed_installer PROPERTIES LABELS harden)
if(VM_WINE_WIN32)
  set_tests_properties(signed_packed_installer.win32 PROPERTIES LABELS harden)
endif()
