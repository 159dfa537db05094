// The packer's two runs that write no installer, --explain and --verify, as
// its command line prints them.
#pragma once

#include <functional>
#include <string>

#include "packer/pack_options.h"

// Takes one line without its line end.
using PrintLineFn = std::function<void(const std::wstring& line)>;

// Each prints its findings to `out` and a failure to `err`, and tells
// whether the document loads everywhere / the installer is sound.
[[nodiscard]] bool RunExplain(const PackOptions& options, const PrintLineFn& out, const PrintLineFn& err);
[[nodiscard]] bool RunVerify(const PackOptions& options, const PrintLineFn& out, const PrintLineFn& err);
