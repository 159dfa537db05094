// Diagnostic lines of the support library. They go to the debugger output;
// nothing is logged to a file.
#pragma once

namespace velmora {

// Receives one zero-terminated diagnostic text.
using VMDebugOutputFn = void (*)(const char* text);

// Passes `text` to the current sink (OutputDebugStringA unless replaced).
void VMDebugOutput(const char* text);

// Formats like printf (Microsoft conventions: "%S" takes a wide string) into a
// 512-byte buffer, so longer lines are cut to 511 characters, and passes the
// result to VMDebugOutput.
void VMDebugPrintf(const char* format, ...) __attribute__((format(ms_printf, 1, 2)));

// Replaces the sink and returns the previous one; null restores the debugger
// output. Meant for tests that read the lines; not synchronised.
VMDebugOutputFn VMSetDebugOutputSink(VMDebugOutputFn sink);

}  // namespace velmora
