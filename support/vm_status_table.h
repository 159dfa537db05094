// SPDX-License-Identifier: Apache-2.0
// Every status this system names, once: its name, its code, whether a run of
// the stub may end with it as the process exit code, and what it means. The
// named constants (support/vm_status.h, config/stub_status.h), the packer's
// printed names, the exit codes the hardening campaigns accept and the check
// of docs/exit-codes.md are all made from these rows, so that a code added
// here is known everywhere and a code added anywhere else is not a status.
//
// A row is X(Name, Code, ExitCode, Meaning). The support library's general
// codes are 0xEE000000 + n, the stub's own 0xEE002000 + n. A code whose
// ExitCode is false never ends a run: another code stands for it, or it
// stays inside the program.
#pragma once

#include <cstdint>

#define VM_GENERAL_STATUSES(X)                                                                                        \
  X(Ok, 0x00000000, true, "success")                                                                                  \
  X(Failed, 0xEE000001, true, "a failure without a more specific reason")                                             \
  X(FileSystemError, 0xEE000002, true, "a file-system failure without a Windows code")                                \
  X(WaitTimedOut, 0xEE000003, true, "waiting for the launched program timed out")                                     \
  X(Cancelled, 0xEE000005, true, "the user cancelled the folder dialog; nothing was unpacked")                        \
  X(AlreadyStarted, 0xEE000008, true, "a worker or a launched program was started twice")                             \
  X(ProcessStillActive, 0xEE000009, true, "the launched program still ran when its exit code was read")               \
  X(RequiredItemMissing, 0xEE000010, true, "no command Id and more than one Command")                                 \
  X(RequiredOptionMissing, 0xEE000011, false, "a command line lacks a required option")                               \
  X(OptionValueMissing, 0xEE000012, false, "a command-line option lacks its value")                                   \
  X(UnknownOption, 0xEE000013, false, "a command line names an unknown option")                                       \
  X(OutOfMemory, 0xEE000020, true, "no memory for the configuration or the command line")                             \
  X(NoMoreEntries, 0xEE000022, false, "the end of a folder listing")                                                  \
  X(ElementEmpty, 0xEE000024, true, "an empty element where a text is expected")                                      \
  X(MissingObject, 0xEE000033, true, "an operation without its object")                                               \
  X(NotFound, 0xEE000039, true, "a required element, attribute or entry is missing")                                  \
  X(DuplicateEntry, 0xEE00003D, true, "a value twice where it must be unique")                                        \
  X(InvalidValue, 0xEE000041, true, "a value that is not one of the accepted ones")                                   \
  X(InvalidConfiguration, 0xEE000051, true, "the document breaks a rule of its format")                               \
  X(NoUniqueMatch, 0xEE000052, true, "no single language, Option or Command fits")                                    \
  X(XmlParseError, 0xEE000057, true, "the document is empty or not well-formed XML")                                  \
  X(ExitCodeUnavailable, 0xEE000063, true, "Windows reported neither the program's exit code nor an error")           \
  X(UnexpectedArgument, 0xEE000084, false, "a command line holds an argument where none belongs")                     \
  X(FileOpenFailed, 0xEE000090, false, "an XML file cannot be opened")                                                \
  X(FileNotXml, 0xEE000091, false, "a file is not well-formed XML")                                                   \
  X(FileWriteFailed, 0xEE000092, false, "an XML file cannot be written")                                              \
  X(EntryLeftInPlace, 0xEE000094, false, "the clean-up left an entry that is no longer what was extracted")           \
  X(DirectoryNotEmpty, 0xEE000095, false, "a folder still holds files whose deletion is pending")                     \
  X(AdminRequired, 0xEE000110, false, "pairs with the message for access denied")

#define VM_STUB_STATUSES(X)                                                                                           \
  X(ConfigurationMissing, 0xEE002002, false, "the image carries no document: a plain extract stub")                   \
  X(InvalidCommandLine, 0xEE002003, true, "the command line is invalid or names what the document does not offer")    \
  X(PlatformNotSupported, 0xEE002004, true, "nothing in the configuration fits this machine's processor")             \
  X(InvalidDirectoryName, 0xEE002005, false, "pairs with the message for an invalid folder name")                     \
  X(ElevationRefused, 0xEE002006, true, "the user refused elevation for an AsAdmin Command")                          \
  X(ItemPlaceTaken, 0xEE002007, true, "a launch run found an entry at the place of a payload item in its target")     \
  X(PayloadDigestMismatch, 0xEE002008, true, "the payload is not the one the image names, or carries no digest")

#define VM_STATUS_TABLE(X) VM_GENERAL_STATUSES(X) VM_STUB_STATUSES(X)

// A row as a named constant, inside the namespace of its list.
#define VM_STATUS_CONSTANT(name, code, exitCode, meaning) inline constexpr std::uint32_t name = code;

namespace velmora {

// One row of the table, for the programs and tests that read it whole. The
// stub itself uses only the constants, so no name or meaning reaches its
// image.
struct VMStatusRow {
  std::uint32_t Code;
  const char* Name;
  bool ExitCode;
  const char* Meaning;
};

#define VM_STATUS_ROW(name, code, exitCode, meaning) {code, #name, exitCode, meaning},
inline constexpr VMStatusRow kStatusTable[] = {VM_STATUS_TABLE(VM_STATUS_ROW)};
#undef VM_STATUS_ROW

}  // namespace velmora
