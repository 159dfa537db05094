// SPDX-License-Identifier: Apache-2.0
// The icon reader on any bytes, and an accepted icon set into a stub.
#include <cstddef>
#include <cstdint>

#include "packer/pe/icon_resource.h"
#include "tests/fuzz/fuzz_stub.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const pe_resources::Bytes ico(data, data + size);
  std::wstring error;
  if (CheckIconFile(ico, error) != velmora::status::Ok) return 0;
  pe_resources::PeImage image = FuzzStub();
  SetProgramIcon(image, ico);
  pe_resources::Bytes written;
  (void)image.Write(written, error);
  return 0;
}
