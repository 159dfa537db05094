// SPDX-License-Identifier: Apache-2.0
#include "support/vm_cmd_line_parser.h"

#include <algorithm>

#include "support/vm_formatter.h"
#include "support/vm_utf_convert.h"

namespace velmora {
namespace {

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// "-x..." and "--x..." with an ASCII letter x are options; "-", "--", "-5"
// and "--5" are plain words (a negative number, a lone dash for stdin).
bool IsOptionWord(std::string_view word) {
  if (word.size() < 2 || word[0] != '-') return false;
  if (IsAsciiLetter(word[1])) return true;
  return word[1] == '-' && word.size() >= 3 && IsAsciiLetter(word[2]);
}

}  // namespace

VMStatus VMCmdLineArgHandler<std::string, std::wstring>::ProcessValue(std::wstring& target, const std::string& text) {
  target = VMUtf8ToUtf16(text);
  return status::Ok;
}

VMStatus VMCmdLineArgHandler<std::string, VMStdPath>::ProcessValue(VMStdPath& target, const std::string& text) {
  std::wstring path = VMUtf8ToUtf16(text);
  std::replace(path.begin(), path.end(), L'/', L'\\');
  target = std::move(path);
  return status::Ok;
}

template <typename Char>
void VMCmdLineParserT<Char>::Report(const String& message) const {
  if (Output == nullptr) return;
  if (ProgramName.empty()) {
    Output(message.c_str());
  } else {
    Output((ProgramName + ": " + message).c_str());
  }
}

template <typename Char>
typename VMCmdLineParserT<Char>::ArgBase* VMCmdLineParserT<Char>::FindOption(StringView word) const {
  for (const auto& option : options_) {
    const StringView longName = option->LongName();
    if (word.size() > 2 && word.substr(0, 2) == "--" && !longName.empty() && word.substr(2) == longName) {
      return option.get();
    }
    const StringView shortName = option->ShortName();
    if (!shortName.empty() && word.substr(1) == shortName) return option.get();
  }
  return nullptr;
}

template <typename Char>
void VMCmdLineParserT<Char>::MarkSeen(ArgBase& definition) {
  definition.Seen = true;
  if (definition.Given != nullptr) *definition.Given = true;
}

template <typename Char>
bool VMCmdLineParserT<Char>::Unrepresentable(std::size_t index) const {
  if (unrepresentable_ == 0 || index != unrepresentable_) return false;
  Report(VMFormat("Argument {} is not valid UTF-16.\n", static_cast<int>(index)));
  return true;
}

template <typename Char>
VMStatus VMCmdLineParserT<Char>::Parse(const std::vector<String>& args) {
  if (!args.empty() && ProgramName.empty()) ProgramName = args[0];

  for (std::size_t i = 1; i < args.size(); ++i) {
    if (Unrepresentable(i)) return status::InvalidValue;
    const String& word = args[i];
    if (IsOptionWord(word)) {
      ArgBase* option = FindOption(word);
      if (option == nullptr) {
        if (IgnoreUnknownOptions) {
          Report(VMFormat("Ignoring unknown option {}.\n", word));
          continue;
        }
        Report(VMFormat("Unknown option {}.\n", word));
        return status::UnknownOption;
      }
      if (option->TakesValue()) {
        if (i + 1 >= args.size()) {
          Report(VMFormat("Missing value for option {}.\n", word));
          return status::OptionValueMissing;
        }
        if (Unrepresentable(i + 1)) return status::InvalidValue;
        const String& value = args[++i];
        const VMStatus processed = option->ProcessValue(value);
        if (processed != status::Ok) {
          Report(VMFormat("Invalid value {} for option {}.\n", value, word));
          return processed;
        }
      } else {
        // A flag has no value that could be wrong.
        (void)option->ProcessValue(String());
      }
      MarkSeen(*option);
      continue;
    }

    const auto free = std::find_if(arguments_.begin(), arguments_.end(), [](const auto& a) { return !a->Seen; });
    if (free != arguments_.end()) {
      const VMStatus processed = (*free)->ProcessValue(word);
      if (processed != status::Ok) {
        Report(VMFormat("Invalid argument {}.\n", word));
        return processed;
      }
      MarkSeen(**free);
    } else if (Surplus != nullptr || SurplusWide != nullptr) {
      if (Surplus != nullptr) Surplus->push_back(word);
      if (SurplusWide != nullptr) SurplusWide->push_back(VMUtf8ToUtf16(word));
    } else if (!AcceptSurplusArguments) {
      Report(VMFormat("Unexpected argument {}.\n", word));
      return status::UnexpectedArgument;
    }
  }

  for (const auto& argument : arguments_) {
    if (argument->Required && !argument->Seen) {
      Report(VMFormat("Missing argument.\n"));
      return status::RequiredItemMissing;
    }
  }
  for (const auto& option : options_) {
    if (option->Required && !option->Seen) {
      Report(VMFormat("Missing required option {} ({}).\n", String(option->ShortName()), String(option->LongName())));
      return status::RequiredOptionMissing;
    }
  }
  return status::Ok;
}

template <typename Char>
VMStatus VMCmdLineParserT<Char>::Parse(const std::vector<std::wstring>& args) {
  std::vector<String> narrow;
  narrow.reserve(args.size());
  unrepresentable_ = 0;
  for (const std::wstring& arg : args) {
    // The conversion would keep only the low byte of a lone surrogate, so a
    // value could end at a NUL or change its meaning; the word is refused
    // when the parse reaches it.
    if (unrepresentable_ == 0 && !narrow.empty() && !VMIsValidUtf16(arg)) unrepresentable_ = narrow.size();
    narrow.push_back(VMUtf16ToUtf8(arg));
  }
  const VMStatus parsed = Parse(narrow);
  unrepresentable_ = 0;
  return parsed;
}

template class VMCmdLineParserT<char>;

}  // namespace velmora
