#include "support/vm_debug_output.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>

namespace velmora {
namespace {

void WriteToDebugger(const char* text) { OutputDebugStringA(text); }

VMDebugOutputFn g_sink = &WriteToDebugger;

}  // namespace

void VMDebugOutput(const char* text) { g_sink(text); }

void VMDebugPrintf(const char* format, ...) {
  // The C runtime's own _vsnprintf: it costs the stub no code, unlike the
  // standard-conforming printf family that the compiler would link in.
  char line[512] = {};
  va_list args;
  va_start(args, format);
  _vsnprintf(line, sizeof(line) - 1, format, args);
  va_end(args);
  VMDebugOutput(line);
}

VMDebugOutputFn VMSetDebugOutputSink(VMDebugOutputFn sink) {
  const VMDebugOutputFn previous = g_sink;
  g_sink = sink != nullptr ? sink : &WriteToDebugger;
  return previous;
}

}  // namespace velmora
