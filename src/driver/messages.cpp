// SPDX-License-Identifier: MIT
#include "driver/messages.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

namespace uitrans {

// These texts, typos included, are the tool's fixed interface: scripts match
// them byte for byte. Never reword one; add a new message instead.
const char* message_text(Message message) {
  switch (message) {
    case Message::none:
      return "";
    case Message::not_enough_parameters:
      return "No enough paramaters\n";
    case Message::cannot_open_list:
      return "Couldn't open %s\n";
    case Message::not_unicode:
      return "Not a unicode input file.\n";
    case Message::cannot_open_for_reading:
      return "Can't open %s for reading.\n";
    case Message::too_big:
      return "%s too big.\n";
    case Message::error_reading:
      return "Error reading %s.\n";
    case Message::not_valid:
      return "%s is not a valid win32 executeable.\n";
    case Message::no_resource_section:
      return "%s has no resource section.\n";
    case Message::no_strings_found:
      return "No strings found to replace in %s.\n";
    case Message::cannot_backup:
      return "Couldn't backup %s.\n";
    case Message::cannot_open_for_writing:
      return "Couldn't open %s for writing.\n";
    case Message::strings_replaced:
      return "%i strings replaced in %s.\n";
    case Message::resized_warning:
      return " Warning: %s string tables resized -\n"
             "\tstill experimental, could cause corruption.\n";
    case Message::error_writing:
      return "Error writing %s.\n";
    case Message::out_of_memory:
      return "Not enough memory to rebuild %s.\n";
    case Message::cannot_grow:
      return "Can't grow the resource section of %s.\n";
    case Message::po_syntax_error:
      return "%s:%i: syntax error in the catalogue.\n";
    case Message::po_invalid_utf8:
      return "%s:%i: invalid UTF-8 in the catalogue.\n";
    case Message::po_invalid_escape:
      return "%s:%i: invalid escape sequence in the catalogue.\n";
    case Message::po_foreign_charset:
      return "%s:%i: the catalogue's charset is not UTF-8.\n";
    case Message::po_invalid_context:
      return "%s:%i: invalid context in the catalogue.\n";
  }
  return "";
}

namespace {

bool g_to_standard_error = false;

void emit_text(const char* text, size_t length) {
  if (g_to_standard_error) {
    platform::print_error_text(text, length);
  } else {
    platform::print_text(text, length);
  }
}

void emit_name(const platform::NativeString& name) {
  if (g_to_standard_error) {
    platform::print_error_native(name);
  } else {
    platform::print_native(name);
  }
}

// Expands "%s" and "%i" of a catalogue text. Names are printed byte for byte
// (or as wide text on Windows), never reinterpreted as a format.
void print_formatted(const char* text, const int32_t* count,
                     const platform::NativeString* name) {
  const char* start = text;
  for (const char* p = text; *p != '\0'; ++p) {
    if (p[0] != '%' || (p[1] != 's' && p[1] != 'i')) continue;
    emit_text(start, static_cast<size_t>(p - start));
    if (p[1] == 's' && name != nullptr) emit_name(*name);
    if (p[1] == 'i' && count != nullptr) {
      std::string digits = std::to_string(*count);
      emit_text(digits.data(), digits.size());
    }
    ++p;
    start = p + 1;
  }
  emit_text(start, std::strlen(start));
}

}  // namespace

void send_messages_to_standard_error() { g_to_standard_error = true; }

void print_message(Message message) {
  print_formatted(message_text(message), nullptr, nullptr);
}

void print_message(Message message, const platform::NativeString& name) {
  print_formatted(message_text(message), nullptr, &name);
}

void print_message(Message message, int32_t count,
                   const platform::NativeString& name) {
  print_formatted(message_text(message), &count, &name);
}

void print_outcome(const Outcome& outcome, const platform::NativeString& name) {
  if (outcome.ok()) return;
  auto count =
      static_cast<int32_t>(std::min<uint32_t>(outcome.number, INT32_MAX));
  print_formatted(message_text(outcome.message), &count, &name);
}

}  // namespace uitrans
