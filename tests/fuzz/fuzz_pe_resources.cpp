// SPDX-License-Identifier: Apache-2.0
// The PE reader and the resource writer on any bytes: whatever they take,
// they write back and read again without touching memory they do not own.
#include <cstddef>
#include <cstdint>

#include "packer/pe/pe_resources.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const pe_resources::Bytes file(data, data + size);
  pe_resources::PeImage image;
  pe_resources::ImageFacts facts;
  std::wstring error;
  (void)image.Read(file, facts, error);
  if (image.Load(file, error) != velmora::status::Ok) return 0;
  image.Set(pe_resources::kTypeRcData, 222, 1033, pe_resources::Bytes(size % 4096, 0x20));
  pe_resources::Bytes written;
  if (image.Write(written, error) != velmora::status::Ok) return 0;
  pe_resources::PeImage reread;
  if (reread.Load(written, error) != velmora::status::Ok || !(reread.Entries() == image.Entries())) __builtin_trap();
  return 0;
}
