// SPDX-License-Identifier: MIT
// Reading a gettext catalogue (a PO file) as find/replace pairs: msgid is the
// find text, msgstr the replacement.
//
// The catalogue is UTF-8, with an optional byte-order mark. Strings take
// gettext's escapes: \n \t \r \a \b \f \v \\ \" , octal \N, \NN, \NNN and
// hexadecimal \xH... (one or more digits). An octal or hexadecimal escape
// stands for one byte of the UTF-8 text, as in gettext, so "\303\251" is
// U+00E9; a value above 255 or a zero byte (a text cannot hold a zero unit)
// is refused like an unknown escape.
//
// Entries that give no pair: the header (empty msgid), entries flagged
// fuzzy, obsolete entries (#~), plural entries and entries whose msgstr is
// empty. An entry's msgctxt names the places it applies at (entry_context.h);
// one that names no place name's form is refused. The
// grammar follows gettext's: a comment between an entry's msgid and its
// msgstr, a keyword without a string, or anything after a string on its
// line is a syntax error.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/bytes.h"
#include "replace/replacement_table.h"

namespace uitrans {

// One translated entry of a catalogue.
struct CataloguePair {
  std::u16string find;         // msgid
  std::u16string replacement;  // msgstr
  uint32_t line = 0;           // the line of the entry's msgid, from 1
  bool has_context = false;
  std::string context;        // msgctxt, UTF-8
  uint32_t context_line = 0;  // the line of the msgctxt keyword
};

// Parses a catalogue's bytes into its pairs, in file order. On a refusal
// returns false with `problem` naming the reason and the line.
bool parse_po_catalogue(ByteSpan file_bytes, std::vector<CataloguePair>* pairs,
                        CatalogueProblem* problem);

// Parses a catalogue into `table` (replacing its contents), with the same
// rules and order as a list's pairs. Gives catalogue_refused, with
// `problem` filled, when the catalogue cannot be read.
ListLoadStatus parse_catalogue(ByteSpan file_bytes, ReplacementTable* table,
                               CatalogueProblem* problem);

}  // namespace uitrans
