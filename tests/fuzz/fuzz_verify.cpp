// SPDX-License-Identifier: Apache-2.0
// --verify on any file: every input ends in a verdict, none in a crash.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "packer/verify.h"
#include "support/vm_utf_convert.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // One file for the whole run, rewritten for every input.
  static const std::string path = [] {
    char name[] = "/tmp/vm-sfxpack-fuzz-XXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0) std::abort();
    close(fd);
    return std::string(name);
  }();
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr || std::fwrite(data, 1, size, file) != size || std::fclose(file) != 0) std::abort();
  std::vector<std::wstring> lines;
  std::wstring error;
  (void)VerifyInstaller(velmora::VMUtf8ToUtf16(path), lines, error);
  return 0;
}
