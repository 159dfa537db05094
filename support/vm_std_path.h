// SPDX-License-Identifier: Apache-2.0
// The support library's path type: a file-system path in its native form,
// UTF-16 with backslashes. It offers the part of std::filesystem::path that
// this program needs; the standard class itself would bring the C++ runtime's
// locale and stream machinery into the stub, many times the stub's own size.
#pragma once

#include <string>
#include <utility>

namespace velmora {

class VMStdPath {
 public:
  VMStdPath() = default;
  VMStdPath(std::wstring text) : text_(std::move(text)) {}
  VMStdPath(const wchar_t* text) : text_(text) {}

  [[nodiscard]] const std::wstring& native() const noexcept { return text_; }
  [[nodiscard]] const wchar_t* c_str() const noexcept { return text_.c_str(); }
  [[nodiscard]] bool empty() const noexcept { return text_.empty(); }

  friend bool operator==(const VMStdPath&, const VMStdPath&) = default;

 private:
  std::wstring text_;
};

}  // namespace velmora
