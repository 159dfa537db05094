#include "support/vm_trace.h"

#include <windows.h>

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
  (void)vsnprintf_s(line, sizeof(line), _TRUNCATE, format, arguments);
  va_end(arguments);
  if (g_sink != nullptr) {
    g_sink(line);
  } else {
    OutputDebugStringA(line);
  }
}

}  // namespace velmora
