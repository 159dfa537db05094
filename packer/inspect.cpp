#include "packer/inspect.h"

#include <vector>

#include "packer/explain.h"
#include "packer/pack.h"
#include "packer/verify.h"

bool RunExplain(const PackOptions& options, const PrintLineFn& out, const PrintLineFn& err) {
  std::string document;
  std::wstring error;
  if (ReadConfigurationDocument(options.Config, document, error) != velmora::status::Ok) {
    err(L"vm-sfxpack: error: " + error);
    return false;
  }
  Explanation explanation;
  ExplainConfiguration(document, SplitLanguageList(options.Languages), explanation);
  for (const std::wstring& line : FormatExplanation(explanation)) out(line);
  return !explanation.LoadFails;
}

bool RunVerify(const PackOptions& options, const PrintLineFn& out, const PrintLineFn& err) {
  std::vector<std::wstring> lines;
  std::wstring error;
  const velmora::VMStatus verified = VerifyInstaller(options.Verify, lines, error);
  for (const std::wstring& line : lines) out(line);
  if (verified != velmora::status::Ok) {
    err(L"vm-sfxpack: error: " + error);
    return false;
  }
  out(options.Verify + L": sound.");
  return true;
}
