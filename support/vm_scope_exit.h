// SPDX-License-Identifier: Apache-2.0
// Runs a clean-up when the scope ends, unless dismissed. For one-off clean-ups
// that do not deserve a handle owner of their own.
#pragma once

#include <utility>

namespace velmora {

template <typename F>
class VMScopeExit {
 public:
  explicit VMScopeExit(F f) : f_(std::move(f)) {}
  VMScopeExit(const VMScopeExit&) = delete;
  VMScopeExit& operator=(const VMScopeExit&) = delete;
  ~VMScopeExit() {
    if (active_) f_();
  }
  void Dismiss() { active_ = false; }

 private:
  F f_;
  bool active_ = true;
};

}  // namespace velmora
