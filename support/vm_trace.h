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
