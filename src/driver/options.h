// SPDX-License-Identifier: MIT
// The command line: long options first, then the operands of the command.
//
//   uitrans [OPTIONS] [-s] LIST EXE...     translate
//   uitrans --extract [--po] [--pseudo] [-o FILE] EXE...
//   uitrans --help | --version
#pragma once

#include <string>
#include <vector>

#include "platform/file_ops.h"
#include "resources/resource_kinds.h"

namespace uitrans {

// What the entries of a gettext template are told apart by, beside their
// text: nothing, the resource type, the resource, or the place.
enum class ContextLevel { none, type, resource, place };

struct Options {
  bool help = false;
  bool version = false;
  bool extract = false;
  bool po = false;
  bool dry_run = false;
  bool check = false;   // warn of likely mistakes of the translation
  bool pseudo = false;  // with --extract: fill in pseudo-translations
  bool fit = false;     // widen dialog controls for their translated texts
  KindSelection kinds;  // the kinds rewritten or listed beyond menus, dialogs
  bool has_output = false;
  platform::NativeString output_path;  // -o / --output, with --extract
  bool has_report = false;
  platform::NativeString report_path;
  bool has_preview = false;  // --preview FILE: an HTML page of the changes
  platform::NativeString preview_path;
  bool has_contexts = false;  // --contexts, with --extract --po
  platform::NativeString contexts_value;
  ContextLevel contexts = ContextLevel::none;
  // --translations-from FILE, with --extract --po: the template's msgstr
  // from a translated copy; --translations-language its language (a tag or
  // id, kept as labels show it: four hexadecimal digits; empty: the only
  // one, else the source's).
  bool has_translations_from = false;
  platform::NativeString translations_from;
  bool has_translations_language = false;
  platform::NativeString translations_language_value;
  std::string translations_language;
  // --language LANG[,LANG...]: the languages in kinds.languages.
  bool has_language = false;
  platform::NativeString language_value;
  // --add-language LANG: the language the translated copies are added in.
  bool has_add_language = false;
  platform::NativeString add_language_value;
  uint16_t added_language = 0;
  // What follows the options: [-s] LIST EXE... or, extracting, EXE...
  // A translation needs a list and an executable (and, after -s, both
  // still); with fewer, `too_few_operands` is set and the rest stays empty.
  bool too_few_operands = false;
  bool has_switch = false;  // -s or -S came first
  platform::NativeString list_path;
  std::vector<platform::NativeString> executables;
};

// Reads the options. False for a usage error, described in *error (ASCII,
// without a line end).
bool parse_options(const std::vector<platform::NativeString>& arguments,
                   Options* options, std::string* error);

// The short usage `--help` prints on standard output.
void print_usage();

}  // namespace uitrans
