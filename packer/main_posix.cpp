// SPDX-License-Identifier: Apache-2.0
// vm-sfxpack on systems other than Windows: the same command line, lines and
// exit codes as the Windows program, in UTF-8.
#include <clocale>
#include <cstdio>
#include <string>
#include <vector>

#include "packer/packer_run.h"
#include "support/vm_utf_convert.h"

namespace {

void PrintLine(std::FILE* stream, const std::wstring& text) {
  const std::string line = velmora::VMUtf16ToUtf8(text) + "\n";
  std::fwrite(line.data(), 1, line.size(), stream);
  std::fflush(stream);
}

}  // namespace

int main(int argc, char** argv) {
  // Letter case of item names follows Unicode, whatever the user's locale.
  if (std::setlocale(LC_CTYPE, "C.UTF-8") == nullptr) std::setlocale(LC_CTYPE, "");
  std::vector<std::wstring> words;
  for (int i = 1; i < argc; ++i) {
    words.push_back(velmora::VMUtf8ToUtf16(argv[i]));
    // Bytes that are not UTF-8 would be read as Latin-1 and name another file.
    if (velmora::VMUtf16ToUtf8(words.back()) != argv[i]) {
      std::string shown;
      for (const unsigned char c : std::string(argv[i])) {
        char hex[8];
        std::snprintf(hex, sizeof hex, c < 0x20 || c >= 0x7F ? "\\x%02X" : "%c", c);
        shown += hex;
      }
      std::fprintf(stderr, "vm-sfxpack: error: \"%s\" is not UTF-8 text; name files in UTF-8.\n", shown.c_str());
      return 2;
    }
  }
  return RunPacker(
      words, [](const std::wstring& line) { PrintLine(stdout, line); },
      [](const std::wstring& line) { PrintLine(stderr, line); });
}
