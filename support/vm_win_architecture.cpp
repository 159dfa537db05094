// SPDX-License-Identifier: Apache-2.0
#include "support/vm_win_architecture.h"

namespace velmora {
namespace {

using IsWow64Process2Fn = BOOL(WINAPI*)(HANDLE, USHORT*, USHORT*);

ProcessorArchitecture FromMachine(USHORT machine) {
  switch (machine) {
    case IMAGE_FILE_MACHINE_I386: return ProcessorArchitecture::X86;
    // 32-bit ARM Windows reports its Thumb-2 machine type, never plain ARM.
    case IMAGE_FILE_MACHINE_ARM:
    case IMAGE_FILE_MACHINE_ARMNT: return ProcessorArchitecture::ARM;
    case IMAGE_FILE_MACHINE_IA64: return ProcessorArchitecture::IA64;
    case IMAGE_FILE_MACHINE_AMD64: return ProcessorArchitecture::X64;
    case IMAGE_FILE_MACHINE_ARM64: return ProcessorArchitecture::ARM64;
    default: return ProcessorArchitecture::Unknown;
  }
}

ProcessorArchitecture FromSystemInfo(WORD architecture) {
  switch (architecture) {
    case PROCESSOR_ARCHITECTURE_INTEL: return ProcessorArchitecture::X86;
    case PROCESSOR_ARCHITECTURE_ARM: return ProcessorArchitecture::ARM;
    case PROCESSOR_ARCHITECTURE_IA64: return ProcessorArchitecture::IA64;
    case PROCESSOR_ARCHITECTURE_AMD64: return ProcessorArchitecture::X64;
    case PROCESSOR_ARCHITECTURE_ARM64: return ProcessorArchitecture::ARM64;
    default: return ProcessorArchitecture::Unknown;
  }
}

// IsWow64Process2 exists from Windows 10 1511 on; older systems answer
// through the system information instead. kernel32.dll is already mapped
// into every process, so it is looked up, never searched for on disk.
bool QueryWow64Process2(HANDLE process, USHORT& processMachine, USHORT& nativeMachine) {
  const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  if (kernel == nullptr) return false;
  const auto query = reinterpret_cast<IsWow64Process2Fn>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "IsWow64Process2")));
  return query != nullptr && query(process, &processMachine, &nativeMachine) != FALSE;
}

}  // namespace

ProcessorArchitecture VMWinGetNativeArchitecture() {
  USHORT processMachine = 0;
  USHORT nativeMachine = 0;
  if (QueryWow64Process2(GetCurrentProcess(), processMachine, nativeMachine)) {
    const ProcessorArchitecture native = FromMachine(nativeMachine);
    if (native != ProcessorArchitecture::Unknown) return native;
  }
  SYSTEM_INFO info{};
  GetNativeSystemInfo(&info);
  return FromSystemInfo(info.wProcessorArchitecture);
}

VMStatus VMWinIsNativeProcess(HANDLE process, bool& native) {
  const ProcessorArchitecture machine = VMWinGetNativeArchitecture();
  if (machine == ProcessorArchitecture::Unknown) return status::Failed;

  USHORT processMachine = 0;
  USHORT nativeMachine = 0;
  if (QueryWow64Process2(process, processMachine, nativeMachine)) {
    const USHORT running = processMachine != IMAGE_FILE_MACHINE_UNKNOWN ? processMachine : nativeMachine;
    const ProcessorArchitecture own = FromMachine(running);
    if (own != ProcessorArchitecture::Unknown) {
      native = own == machine;
      return status::Ok;
    }
  }
  // GetSystemInfo describes only the calling process's own view.
  if (process != GetCurrentProcess() && GetProcessId(process) != GetCurrentProcessId()) {
    return status::Failed;
  }
  SYSTEM_INFO info{};
  GetSystemInfo(&info);
  const ProcessorArchitecture own = FromSystemInfo(info.wProcessorArchitecture);
  if (own == ProcessorArchitecture::Unknown) return status::Failed;
  native = own == machine;
  return status::Ok;
}

}  // namespace velmora
