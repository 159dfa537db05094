// SPDX-License-Identifier: Apache-2.0
#include "tests/fuzz/fuzz_stub.h"

#include <cstdio>
#include <cstdlib>

pe_resources::PeImage FuzzStub() {
  static const pe_resources::PeImage stub = [] {
    const char* path = std::getenv("VM_FUZZ_STUB");
    FILE* file = path != nullptr ? std::fopen(path, "rb") : nullptr;
    if (file == nullptr) std::abort();
    pe_resources::Bytes bytes;
    for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file)) bytes.push_back(static_cast<std::uint8_t>(c));
    std::fclose(file);
    pe_resources::PeImage image;
    std::wstring error;
    if (image.Load(bytes, error) != velmora::status::Ok) std::abort();
    return image;
  }();
  return stub;
}
