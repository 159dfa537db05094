// SPDX-License-Identifier: Apache-2.0
// Status codes of the velmora support library and the helpers that make
// status propagation one line.
//
// A status is an unsigned 32-bit value: 0 is success, Windows error codes and
// HRESULTs travel unchanged, 0xEE000000 + n are the library's own codes and
// 0xE0010000 | errno comes from path splitting. Every code has its row in
// support/vm_status_table.h, which names it here.
#pragma once

#include <cstdint>

#include "support/vm_status_table.h"

namespace velmora {

using VMStatus = std::uint32_t;

namespace status {
VM_GENERAL_STATUSES(VM_STATUS_CONSTANT)

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
