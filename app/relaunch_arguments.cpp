#include "app/relaunch_arguments.h"

#include "support/vm_formatter.h"

namespace {

// The folder as it can stand between double quotes. Trailing backslashes
// would escape the closing quote when the line is split into words, so they
// are dropped. A root keeps its backslash, doubled so that it reads back as
// one: "C:" alone would mean the current folder of drive C.
std::wstring QuotableFolder(const std::wstring& folder) {
  std::wstring quotable = folder;
  while (!quotable.empty() && quotable.back() == L'\\') quotable.pop_back();
  const bool root = quotable.empty() || (quotable.size() == 2 && quotable[1] == L':');
  if (root && quotable.size() < folder.size()) quotable += L"\\\\";
  return quotable;
}

}  // namespace

std::wstring ComposeRelaunchArguments(const std::wstring& targetFolder, const std::wstring& languageTag,
                                      const std::wstring& argumentTail) {
  const wchar_t* const internal = L"internal";
  const wchar_t* const target = L"target";
  const wchar_t* const language = L"language";
  const int internalMode = 1;
  const std::wstring folder = QuotableFolder(targetFolder);
  if (languageTag.empty()) {
    return velmora::VMFormat(L"--{} {} --{} \"{}\" {}", internal, internalMode, target, folder, argumentTail);
  }
  return velmora::VMFormat(L"--{} {} --{} \"{}\" --{} {} {}", internal, internalMode, target, folder, language,
                           languageTag, argumentTail);
}
