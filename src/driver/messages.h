// SPDX-License-Identifier: MIT
// The catalogue of console messages. Texts are fixed; "%s" is a file name
// exactly as given (or shortened by the backup rules), "%i" a count.
#pragma once

#include <cstdint>

#include "common/outcome.h"
#include "platform/file_ops.h"

namespace uitrans {

// The printf-style text of a message. The po_ messages take the list file's
// name and a line number.
const char* message_text(Message message);

// From now on, messages go to standard error (extraction writes its
// template to standard output).
void send_messages_to_standard_error();

void print_message(Message message);
void print_message(Message message, const platform::NativeString& name);
void print_message(Message message, int32_t count,
                   const platform::NativeString& name);

// Prints the message an outcome ends with (nothing for none), with `name`
// for its "%s" and the outcome's number for its "%i".
void print_outcome(const Outcome& outcome, const platform::NativeString& name);

}  // namespace uitrans
