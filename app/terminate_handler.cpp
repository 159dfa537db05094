// SPDX-License-Identifier: Apache-2.0
// How the stub ends when the C++ runtime gives up.
//
// The runtime's default terminate handler prints the demangled type of the
// escaping exception to the standard error stream, and its helpers that throw
// std::length_error and friends format messages and build std::string
// exceptions. Together they drag a demangler, a full printf and a second
// string implementation into the stub, well over a third of its size, for a
// GUI process that has no console to print to. Containers here only ever fail
// for lack of memory; everything else is a bug, and aborting (which the
// crash-dump filter sees) is all that is left to do for it.
#include <cstdlib>
#include <new>

namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

namespace std {
void __throw_bad_alloc() { throw std::bad_alloc(); }
void __throw_bad_array_new_length() { throw std::bad_alloc(); }
void __throw_length_error(const char*) { throw std::bad_alloc(); }
void __throw_logic_error(const char*) { std::abort(); }
void __throw_out_of_range_fmt(const char*, ...) { std::abort(); }
}  // namespace std
