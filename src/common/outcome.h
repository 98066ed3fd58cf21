// SPDX-License-Identifier: MIT
// How a stage of the run ends: the message it ends with, from the fixed
// catalogue, and the internal reason behind it. Stages return an outcome;
// the driver prints it with one function (messages.h), so no stage maps its
// own statuses to texts.
#pragma once

#include <cstdint>

#include "common/invalid_reason.h"

namespace uitrans {

// The catalogue of console messages; their texts are in messages.cpp.
enum class Message {
  none,  // the stage went on: nothing to print
  not_enough_parameters,
  cannot_open_list,
  not_unicode,
  cannot_open_for_reading,
  too_big,
  error_reading,
  not_valid,
  no_resource_section,
  no_strings_found,
  cannot_backup,
  cannot_open_for_writing,
  strings_replaced,
  resized_warning,
  error_writing,
  out_of_memory,
  cannot_grow,
  po_syntax_error,  // a gettext catalogue as the list file
  po_invalid_utf8,
  po_invalid_escape,
  po_foreign_charset,
  po_invalid_context,
};

struct Outcome {
  Message message = Message::none;
  InvalidReason reason = InvalidReason::none;  // never printed; for tests
  uint32_t number = 0;  // the message's "%i": a count or a line

  bool ok() const { return message == Message::none; }
};

inline Outcome fail(Message message, InvalidReason reason = InvalidReason::none,
                    uint32_t number = 0) {
  return Outcome{message, reason, number};
}

// An image refused as invalid, and why.
inline Outcome refused(InvalidReason reason) {
  return Outcome{Message::not_valid, reason, 0};
}

// Memory ran out, or a size passed what 32-bit fields can hold; both end
// with the same message.
inline Outcome out_of_memory() {
  return Outcome{Message::out_of_memory, InvalidReason::out_of_memory, 0};
}
inline Outcome size_overflow() {
  return Outcome{Message::out_of_memory, InvalidReason::size_overflow, 0};
}

}  // namespace uitrans
