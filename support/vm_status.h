// SPDX-License-Identifier: Apache-2.0
// Status codes of the velmora support library and the helpers that make
// status propagation one line.
//
// A status is an unsigned 32-bit value: 0 is success, Windows error codes and
// HRESULTs travel unchanged, 0xEE000000 + n are the library's own codes and
// 0xE0010000 | errno comes from path splitting. Every code has its name here
// and nowhere else.
#pragma once

#include <cstdint>

namespace velmora {

using VMStatus = std::uint32_t;

namespace status {
inline constexpr VMStatus Ok = 0;
inline constexpr VMStatus Failed = 0xEE000001;
inline constexpr VMStatus FileSystemError = 0xEE000002;
inline constexpr VMStatus WaitTimedOut = 0xEE000003;
inline constexpr VMStatus Cancelled = 0xEE000005;
inline constexpr VMStatus AlreadyStarted = 0xEE000008;
inline constexpr VMStatus ProcessStillActive = 0xEE000009;
inline constexpr VMStatus RequiredItemMissing = 0xEE000010;
inline constexpr VMStatus RequiredOptionMissing = 0xEE000011;
inline constexpr VMStatus OptionValueMissing = 0xEE000012;
inline constexpr VMStatus UnknownOption = 0xEE000013;
inline constexpr VMStatus OutOfMemory = 0xEE000020;
inline constexpr VMStatus NoMoreEntries = 0xEE000022;
inline constexpr VMStatus ElementEmpty = 0xEE000024;
inline constexpr VMStatus MissingObject = 0xEE000033;
inline constexpr VMStatus NotFound = 0xEE000039;
inline constexpr VMStatus DuplicateEntry = 0xEE00003D;
inline constexpr VMStatus InvalidValue = 0xEE000041;
inline constexpr VMStatus InvalidConfiguration = 0xEE000051;
inline constexpr VMStatus NoUniqueMatch = 0xEE000052;
inline constexpr VMStatus XmlParseError = 0xEE000057;
inline constexpr VMStatus ExitCodeUnavailable = 0xEE000063;
inline constexpr VMStatus UnexpectedArgument = 0xEE000084;
inline constexpr VMStatus FileOpenFailed = 0xEE000090;
inline constexpr VMStatus FileNotXml = 0xEE000091;
inline constexpr VMStatus FileWriteFailed = 0xEE000092;
inline constexpr VMStatus EntryLeftInPlace = 0xEE000094;
inline constexpr VMStatus DirectoryNotEmpty = 0xEE000095;
inline constexpr VMStatus AdminRequired = 0xEE000110;

// Path splitting reports C runtime error numbers in this family.
inline constexpr VMStatus CrtErrorBase = 0xE0010000;
constexpr VMStatus FromCrtError(int error) {
  return CrtErrorBase | (static_cast<VMStatus>(error) & 0xFFFF);
}
}  // namespace status

// The calling thread's last Windows error, or `fallback` when the failing call
// left none (so a failure can never turn into success on the way up).
[[nodiscard]] VMStatus LastErrorOr(VMStatus fallback = status::Failed);

}  // namespace velmora

// Each macro evaluates its argument exactly once.
#define VM_RETURN_IF_FAILED(expr)                                 \
  do {                                                            \
    const ::velmora::VMStatus vm_status_ = (expr);                \
    if (vm_status_ != ::velmora::status::Ok) return vm_status_;   \
  } while (0)

#define VM_RETURN_LAST_ERROR_IF(cond)                             \
  do {                                                            \
    if (cond) return ::velmora::LastErrorOr();                    \
  } while (0)
