// SPDX-License-Identifier: MIT
// Pseudo-translation: a text made to look translated while it stays
// readable, so that a program run with it shows which texts are not
// translatable yet (they stay plain), which are cut off (the closing
// bracket is missing) and which break with accented letters. Everything a
// program relies on is kept: mnemonics, placeholders, the shortcut column
// of a menu item, line breaks, and the blanks and punctuation a text ends
// with, so that the checks of a translation find nothing on it.
#pragma once

#include <string>

namespace uitrans {

// The pseudo-translation of `text`: Latin letters replaced by accented
// look-alikes, the text lengthened with `~` as a translation grows (short
// texts the most), inside `[` and `]`. With `menu_item`, what follows a tab
// is kept as it is. The same text gives the same result.
std::u16string pseudo_translation(const std::u16string& text, bool menu_item);

}  // namespace uitrans
