// SPDX-License-Identifier: MIT
// `uitrans --extract`: the texts of executables as a list template (or, with
// --po, a gettext template).
#pragma once

#include <string>
#include <vector>

#include "driver/options.h"
#include "image/image_file.h"
#include "image/image_info.h"
#include "resources/templates.h"
#include "resources/text_record.h"

namespace uitrans {

// A distinct text with every place it occurs, in order of first appearance.
struct ExtractedText {
  std::u16string text;
  std::string kind;                     // the kind of its first place
  std::vector<std::string> references;  // "app.exe:MENU/2/0409", distinct
  bool has_context = false;
  std::string context;  // "DIALOG/101/0409", as --contexts asks
  TextPlace place = TextPlace::menu_item;  // of its first place
  // What the template offers as its translation; empty for the text itself.
  std::u16string translation;
};

// An executable read for its texts.
struct ListedImage {
  ImageBuffer image;
  ImageInfo info;
  std::vector<TextRecord> records;
};

// Loads, validates and lists one executable (its texts in walk order; none
// without a resource section). False when it could not be read, its message
// printed.
bool list_image(const platform::NativeString& name, const KindSelection& kinds,
                ListedImage* listed);

// Reads every executable named and lists its texts; messages for those
// that cannot be read go to standard error. Returns the exit status.
int run_extract(const Options& options);

// The list template: UTF-16LE with a byte-order mark; each text, the same
// text again and an empty line, lines ended by CR LF. Texts a list line
// cannot hold are left out and counted in *left_out.
std::string list_template(const std::vector<ExtractedText>& texts,
                          size_t* left_out);

// The gettext template (POT) of the texts, named after `project`. Texts of
// fewer than two units are left out and counted in *too_short, texts that
// are not valid UTF-16 in *unwritable.
std::string gettext_template(const std::vector<ExtractedText>& texts,
                             const std::string& project, size_t* too_short,
                             size_t* unwritable);

}  // namespace uitrans
