// SPDX-License-Identifier: Apache-2.0
// Version texts from the command line on any bytes, set into a stub.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "packer/pe/version_resource.h"
#include "support/vm_utf_convert.h"
#include "tests/fuzz/fuzz_stub.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<VersionSetting> settings;
  std::wstring error;
  std::size_t start = 0;
  // One word a line, as they would come one --version-info each.
  while (start <= text.size()) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    if (AddVersionSetting(velmora::VMUtf8ToUtf16(text.substr(start, end - start)), settings, error) !=
        velmora::status::Ok) {
      return 0;
    }
    start = end + 1;
  }
  pe_resources::PeImage image = FuzzStub();
  SetVersionResource(image, settings);
  pe_resources::Bytes written;
  (void)image.Write(written, error);
  return 0;
}
