// SPDX-License-Identifier: Apache-2.0
// What the packer tests are given on their command line, as Windows paths.
#pragma once

#include <string>

extern std::wstring g_payloads;  // the payloads of tests/tasks/make_payloads.py
extern std::wstring g_inputs;    // archives only the packer meets
extern std::wstring g_stub;
extern std::wstring g_packer;
extern std::wstring g_icon;  // the stub's own icon file
