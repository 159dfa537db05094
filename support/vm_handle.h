// SPDX-License-Identifier: Apache-2.0
// Owners for Windows handles. One template, a traits type per kind of handle:
// the traits say which value means "no handle" and how to release one.
//
// Releasing never disturbs GetLastError(), so an owner going out of scope on
// an error path keeps the error that caused the return.
#pragma once

#include <windows.h>

#include <cstdio>
#include <utility>

namespace velmora {

template <typename Traits>
class VMUniqueHandle {
 public:
  using Type = typename Traits::Type;

  VMUniqueHandle() = default;
  explicit VMUniqueHandle(Type value) : value_(value) {}
  VMUniqueHandle(VMUniqueHandle&& other) noexcept : value_(other.release()) {}
  VMUniqueHandle& operator=(VMUniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  VMUniqueHandle(const VMUniqueHandle&) = delete;
  VMUniqueHandle& operator=(const VMUniqueHandle&) = delete;
  ~VMUniqueHandle() { reset(); }

  [[nodiscard]] Type get() const { return value_; }
  [[nodiscard]] bool valid() const { return value_ != Traits::Invalid(); }
  explicit operator bool() const { return valid(); }

  [[nodiscard]] Type release() { return std::exchange(value_, Traits::Invalid()); }

  void reset(Type value = Traits::Invalid()) {
    const Type old = std::exchange(value_, value);
    if (old != Traits::Invalid()) {
      const DWORD error = GetLastError();
      Traits::Close(old);
      SetLastError(error);
    }
  }

  // For APIs that return a handle through an out parameter: the old handle is
  // released first, so reusing an owner cannot leak.
  [[nodiscard]] Type* put() {
    reset();
    return &value_;
  }

 private:
  Type value_ = Traits::Invalid();
};

namespace handle_traits {
struct Kernel {
  using Type = HANDLE;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { CloseHandle(h); }
};
struct File {
  using Type = HANDLE;
  static Type Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Type h) { CloseHandle(h); }
};
struct Find {
  using Type = HANDLE;
  static Type Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Type h) { FindClose(h); }
};
struct Module {
  using Type = HMODULE;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { FreeLibrary(h); }
};
struct Window {
  using Type = HWND;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { DestroyWindow(h); }
};
struct Local {
  using Type = HLOCAL;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { LocalFree(h); }
};
struct RegKey {
  using Type = HKEY;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { RegCloseKey(h); }
};
struct CFile {
  using Type = std::FILE*;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { std::fclose(h); }
};
}  // namespace handle_traits

using VMUniqueKernelHandle = VMUniqueHandle<handle_traits::Kernel>;
using VMUniqueFile = VMUniqueHandle<handle_traits::File>;
using VMUniqueFind = VMUniqueHandle<handle_traits::Find>;
using VMUniqueModule = VMUniqueHandle<handle_traits::Module>;
using VMUniqueWindow = VMUniqueHandle<handle_traits::Window>;
using VMUniqueLocal = VMUniqueHandle<handle_traits::Local>;
using VMUniqueRegKey = VMUniqueHandle<handle_traits::RegKey>;
using VMUniqueCFile = VMUniqueHandle<handle_traits::CFile>;

}  // namespace velmora
