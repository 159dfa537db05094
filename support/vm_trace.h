// SPDX-License-Identifier: Apache-2.0
// The support library's diagnostic trace: one line per call to the debugger
// output. It is the only diagnostic channel of these helpers; nothing goes to
// a file or a console.
#pragma once

namespace velmora {

// printf-style format (the C runtime's rules: %S is a wide string); longer
// text is cut at 511 characters.
#ifdef _WIN32
void VMTrace(const char* format, ...) __attribute__((format(ms_printf, 1, 2)));
#else
void VMTrace(const char* format, ...) __attribute__((format(printf, 1, 2)));
#endif

// Where finished lines go: OutputDebugStringA unless replaced. Tests read
// the lines through their own sink; nullptr restores the default. Returns
// the sink that was in place. Not synchronised.
using VMTraceSink = void (*)(const char* line);
VMTraceSink VMSetTraceSink(VMTraceSink sink);

}  // namespace velmora

// A trace line that names the function it is written in: in BindSystemImports,
// VM_TRACE("ERROR", "%S not loaded\n", name) writes "ERROR: BindSystemImports:
// user32.dll not loaded". The compiler supplies the name, so it cannot drift
// from the code as a name written by hand does.
#define VM_TRACE(level, format, ...) VM_TRACE_FROM(__func__, level, format __VA_OPT__(, ) __VA_ARGS__)
// The same line for a helper that traces on behalf of `function`, which it
// takes as its last parameter with the default VM_CALLER_NAME.
#define VM_TRACE_FROM(function, level, format, ...) \
  ::velmora::VMTrace(level ": %s: " format, function __VA_OPT__(, ) __VA_ARGS__)
// As a default argument: the name of the function that makes the call.
#define VM_CALLER_NAME __builtin_FUNCTION()
