// SPDX-License-Identifier: Apache-2.0
// Cost of one formatted diagnostic: the {} formatter (measure and write, as
// every caller uses it) against the C runtime's _snprintf and plain string
// concatenation, measured side by side in the same process.
#include <windows.h>

#include <cstdio>
#include <string>

#include "bench/clock.h"
#include "support/vm_formatter.h"

namespace {

volatile std::size_t g_sink = 0;
// Keeps the compiler from dropping the work whose result nobody reads.
void Keep(std::size_t n) { g_sink = g_sink + n; }

// Best of five rounds, in nanoseconds per call.
template <typename F>
double Measure(int calls, F&& f) {
  double best = 1e300;
  for (int round = 0; round < 5; ++round) {
    const double start = BenchNowMs();
    for (int i = 0; i < calls; ++i) f();
    const double perCall = (BenchNowMs() - start) * 1e6 / calls;
    if (perCall < best) best = perCall;
  }
  return best;
}

void Report(const char* name, double ns, double reference) {
  std::printf("  %-44s %8.1f ns/call  ratio %.2f\n", name, ns, ns / reference);
}

}  // namespace

int main(int argc, char** argv) {
  const int calls = argc > 1 ? std::atoi(argv[1]) : 100000;
  const std::string value = "maybe";
  const std::string option = "--gui";

  std::printf("narrow diagnostic \"Invalid value {} for option {}.\\n\" (%d calls, best of 5)\n", calls);
  const double formatter = Measure(calls, [&] {
    Keep(velmora::VMFormat("Invalid value {} for option {}.\n", value, option).size());
  });
  const double snprintf = Measure(calls, [&] {
    char buffer[128];
    const int n = _snprintf(buffer, sizeof(buffer), "Invalid value %s for option %s.\n", value.c_str(), option.c_str());
    Keep(std::string(buffer, n > 0 ? n : 0).size());
  });
  const double concatenation = Measure(calls, [&] {
    Keep(("Invalid value " + value + " for option " + option + ".\n").size());
  });
  Report("velmora::VMFormat (two passes)", formatter, snprintf);
  Report("_snprintf into a buffer, then a string", snprintf, snprintf);
  Report("std::string concatenation", concatenation, snprintf);

  std::printf("wide relaunch line \"--{} {} --{} \\\"{}\\\" --{} {} {}\" (%d calls, best of 5)\n", calls);
  const wchar_t* const internal = L"internal";
  const wchar_t* const target = L"target";
  const wchar_t* const language = L"language";
  const std::wstring folder = L"C:\\Users\\user\\AppData\\Local\\Temp\\{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}";
  const std::wstring tag = L"de-DE";
  const std::wstring tail = L"--gui off --passthrough /qn /norestart";
  const double wide = Measure(calls, [&] {
    Keep(velmora::VMFormat(L"--{} {} --{} \"{}\" --{} {} {}", internal, 1, target, folder, language, tag, tail)
                  .size());
  });
  const double wideSnprintf = Measure(calls, [&] {
    wchar_t buffer[256];
    const int n = _snwprintf(buffer, 256, L"--%s %d --%s \"%s\" --%s %s %s", internal, 1, target, folder.c_str(),
                             language, tag.c_str(), tail.c_str());
    Keep(std::wstring(buffer, n > 0 ? n : 0).size());
  });
  Report("velmora::VMFormat (two passes)", wide, wideSnprintf);
  Report("_snwprintf into a buffer, then a string", wideSnprintf, wideSnprintf);
  return 0;
}
