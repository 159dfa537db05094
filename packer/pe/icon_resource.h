// SPDX-License-Identifier: Apache-2.0
// An icon file (.ico) as the program's icon: its images become RT_ICON
// resources and its directory the RT_GROUP_ICON that replaces the image's
// first icon group and the icons that group named.
#pragma once

#include <cstdint>
#include <string>

#include "packer/pe/pe_resources.h"
#include "support/vm_status.h"

// Whether `ico` is an icon file whose every image lies within it and is a
// PNG or a device-independent bitmap. The reason for a refusal is one phrase
// in `error` ("it has no images").
[[nodiscard]] velmora::VMStatus CheckIconFile(const pe_resources::Bytes& ico, std::wstring& error);

// The widest or tallest side, in pixels, of the images of `ico`, which
// passed CheckIconFile: from a PNG's header, since its directory entry says 0
// for every side of 256 or more.
[[nodiscard]] std::uint32_t LargestIconSide(const pe_resources::Bytes& ico);

// `ico` passed CheckIconFile.
void SetProgramIcon(pe_resources::PeImage& image, const pe_resources::Bytes& ico);
