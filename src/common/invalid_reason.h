// SPDX-License-Identifier: MIT
// Why a stage refused an executable. Never printed: every refusal of a kind
// prints the same fixed message. Kept so that tests can tell which check
// fired, not only that one did.
#pragma once

#include <cstdint>

namespace uitrans {

enum class InvalidReason : uint8_t {
  none,
  // Headers.
  file_too_small,      // shorter than a DOS header
  nt_offset_negative,  // e_lfanew read as signed
  nt_headers_outside,  // signature and file header past the end
  bad_nt_signature,    // not "PE\0\0"
  no_optional_header,  // SizeOfOptionalHeader is zero
  optional_header_outside,
  bad_optional_header,  // unknown Magic, or too short for its kind
  section_table_outside,
  resource_header_outside,
  resource_data_outside,  // PointerToRawData + SizeOfRawData past the end
  bad_file_alignment,     // not a non-zero power of two
  // The resource tree.
  directory_outside,
  entry_outside,
  name_outside,
  data_entry_outside,
  prefix_outside,        // the measured prefix runs past the end
  item_outside,          // a data entry's item runs past the end
  copy_budget_exceeded,  // shared items would be copied far too often
  // Templates.
  template_too_short,  // a dialog shorter than its fixed header
  template_truncated,  // a field runs past the end of the image
  text_unterminated,   // no zero unit before the end of the image
  // Rebuilding: not a fault of the image.
  out_of_memory,  // an allocation failed
  size_overflow,  // an item, the data area or the section passed 4 GiB
};

}  // namespace uitrans
