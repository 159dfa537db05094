// SPDX-License-Identifier: Apache-2.0
#include "support/vm_trace.h"

#ifdef _WIN32
#include <windows.h>
#endif

#include <cstdarg>
#include <cstdio>

namespace velmora {
namespace {
VMTraceSink g_sink = nullptr;
}  // namespace

VMTraceSink VMSetTraceSink(VMTraceSink sink) {
  const VMTraceSink previous = g_sink;
  g_sink = sink;
  return previous;
}

void VMTrace(const char* format, ...) {
  char line[512] = {};
  va_list arguments;
  va_start(arguments, format);
  // A formatting failure leaves whatever fitted; a trace never fails its caller.
#ifdef _WIN32
  (void)vsnprintf_s(line, sizeof(line), _TRUNCATE, format, arguments);
#else
  (void)std::vsnprintf(line, sizeof(line), format, arguments);
#endif
  va_end(arguments);
  if (g_sink != nullptr) {
    g_sink(line);
  } else {
#ifdef _WIN32
    OutputDebugStringA(line);
#endif
  }
}

}  // namespace velmora
