// SPDX-License-Identifier: MIT
// The ANSI code page of a resource's language: what the 8-bit texts of an
// item in that language were written in.
#pragma once

#include <cstdint>

namespace uitrans {

inline constexpr uint32_t kWesternCodePage = 1252;

// The Windows ANSI code page of language id `language` (a LANGID: primary
// language in the low 10 bits, sublanguage above). Neutral and unknown
// languages, and those Windows writes in Unicode alone, give 1252.
uint32_t ansi_code_page(uint16_t language);

}  // namespace uitrans
