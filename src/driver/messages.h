// SPDX-License-Identifier: MIT
// The catalogue of console messages. Texts are fixed; "%s" is a file name
// exactly as given (or shortened by the backup rules), "%i" a count.
#pragma once

#include <cstdint>

#include "platform/file_ops.h"

namespace uitrans {

enum class Message {
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
};

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

}  // namespace uitrans
