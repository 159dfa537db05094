// SPDX-License-Identifier: Apache-2.0
// A small command-line parser: typed definitions of named options and
// positional arguments, each bound to a variable that receives its value.
//
// Option words are "-name" (short) or "--name" (long); a value is always the
// next word, whatever it looks like. There is no "--name=value" form and no
// bundling of short options. Each problem is reported as one line through the
// output function, and the parse stops at the first one with its status.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "support/vm_status.h"
#include "support/vm_std_path.h"

namespace velmora {

// Converts the text of one value into a T. Specialised per value type; a
// program adds specialisations for its own types.
template <typename Text, typename T>
struct VMCmdLineArgHandler;

// Any text, converted from UTF-8.
template <>
struct VMCmdLineArgHandler<std::string, std::wstring> {
  [[nodiscard]] static VMStatus ProcessValue(std::wstring& target, const std::string& text);
};

// Any text, converted from UTF-8, with "/" turned into "\".
template <>
struct VMCmdLineArgHandler<std::string, VMStdPath> {
  [[nodiscard]] static VMStatus ProcessValue(VMStdPath& target, const std::string& text);
};

// Instantiated for narrow (UTF-8) arguments only.
template <typename Char>
class VMCmdLineParserT {
 public:
  using String = std::basic_string<Char>;
  using StringView = std::basic_string_view<Char>;
  // Receives one zero-terminated diagnostic line.
  using OutputFn = void (*)(const Char* text);

  class ArgBase {
   public:
    virtual ~ArgBase() = default;
    [[nodiscard]] virtual bool TakesValue() const { return false; }
    [[nodiscard]] virtual StringView ShortName() const { return {}; }
    [[nodiscard]] virtual StringView LongName() const { return {}; }
    // Converts and stores one value.
    [[nodiscard]] virtual VMStatus ProcessValue(const String& text) = 0;

    bool Required = false;
    bool Seen = false;     // the definition received a value
    bool* Given = nullptr;  // set to true together with Seen, when not null
  };

  // A positional argument.
  template <typename T, typename Handler = VMCmdLineArgHandler<String, T>>
  class ArgT : public ArgBase {
   public:
    explicit ArgT(T& target) : Target(&target) {}
    [[nodiscard]] VMStatus ProcessValue(const String& text) override { return Handler::ProcessValue(*Target, text); }

    T* Target;
  };

  // A named option; either name may be empty.
  template <typename T, typename Handler = VMCmdLineArgHandler<String, T>>
  class Option : public ArgT<T, Handler> {
   public:
    Option(String shortName, String longName, T& target, bool takesValue)
        : ArgT<T, Handler>(target),
          ShortName_(std::move(shortName)),
          LongName_(std::move(longName)),
          TakesValue_(takesValue) {}
    [[nodiscard]] bool TakesValue() const override { return TakesValue_; }
    [[nodiscard]] StringView ShortName() const override { return ShortName_; }
    [[nodiscard]] StringView LongName() const override { return LongName_; }

   private:
    String ShortName_;
    String LongName_;
    bool TakesValue_;
  };

  VMCmdLineParserT() = default;
  VMCmdLineParserT(const VMCmdLineParserT&) = delete;
  VMCmdLineParserT& operator=(const VMCmdLineParserT&) = delete;

  // Definitions are matched in the order they were added. Set Required and
  // Given on a definition before adding it.
  void AddArgument(std::unique_ptr<ArgBase> argument) { arguments_.push_back(std::move(argument)); }
  void AddOption(std::unique_ptr<ArgBase> option) { options_.push_back(std::move(option)); }

  template <typename T>
  void AddOption(String shortName, String longName, T& target, bool takesValue) {
    AddOption(std::make_unique<Option<T>>(std::move(shortName), std::move(longName), target, takesValue));
  }

  [[nodiscard]] VMStatus Parse(const std::vector<String>& args);
  // Converts every argument to UTF-8 first. An argument that is not valid
  // UTF-16 (a lone surrogate) has no UTF-8 form: the parse fails with
  // InvalidValue when it reaches that argument.
  [[nodiscard]] VMStatus Parse(const std::vector<std::wstring>& args);

  // Plain words that no positional definition takes land here (either list
  // may be null). Without a list they are an error, unless
  // AcceptSurplusArguments drops them.
  std::vector<String>* Surplus = nullptr;
  std::vector<std::wstring>* SurplusWide = nullptr;
  // Prefixes every diagnostic; the first word of the vector when left empty.
  String ProgramName;
  bool IgnoreUnknownOptions = false;
  bool AcceptSurplusArguments = false;
  OutputFn Output = nullptr;

 private:
  void Report(const String& message) const;
  [[nodiscard]] ArgBase* FindOption(StringView word) const;
  static void MarkSeen(ArgBase& definition);
  [[nodiscard]] bool Unrepresentable(std::size_t index) const;

  // Index of the first argument the wide parse could not convert; 0 for none
  // (the program name is never parsed).
  std::size_t unrepresentable_ = 0;

  std::vector<std::unique_ptr<ArgBase>> arguments_;
  std::vector<std::unique_ptr<ArgBase>> options_;
};

extern template class VMCmdLineParserT<char>;

}  // namespace velmora
