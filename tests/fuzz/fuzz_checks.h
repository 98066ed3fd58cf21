// SPDX-License-Identifier: MIT
// The properties the fuzz targets check, shared with the test that replays
// the seed corpus and every past finding in the ordinary test run. A broken
// property aborts with a message, which both libFuzzer and the tests report.
#pragma once

#include <cstddef>
#include <cstdint>

namespace fuzzsupport {

// A list file: parsing never fails beyond "not unicode", the table is sorted
// and well formed, and the indexed lookups (whole-text and scanning) answer
// exactly as the plain scan over all entries. The same bytes read as a
// gettext catalogue give a table of the same shape or a refusal at a line.
void check_list_input(const uint8_t* data, size_t size);

// An arbitrary file as an image: validation, the rebuild and the output
// layout in memory stay inside their buffers and keep their invariants.
void check_image_input(const uint8_t* data, size_t size);

// A recipe (see recipe.h): the well-formed image it builds is rebuilt without
// complaint, and with a list that replaces every text by itself every item
// comes out as it went in.
void check_structured_input(const uint8_t* data, size_t size);

}  // namespace fuzzsupport
