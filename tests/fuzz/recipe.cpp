// SPDX-License-Identifier: MIT
#include "fuzz/recipe.h"

#include <algorithm>

#include "support/dialog_template.h"
#include "support/resource_blocks.h"

namespace fuzzsupport {

namespace {

using testsupport::MenuItem;

// Reads the recipe byte by byte; an exhausted recipe reads as zeros, so every
// prefix of a recipe is a recipe too.
struct RecipeReader {
  const uint8_t* data = nullptr;
  size_t size = 0;
  size_t position = 0;

  uint8_t next() { return position < size ? data[position++] : 0; }
  bool flag() { return (next() & 1) != 0; }
  size_t below(size_t limit) { return next() % limit; }
  bool exhausted() const { return position >= size; }
};

// Texts shared by the resources and the list, so that lookups hit. Single
// units and empty texts are here on purpose: the list drops them.
const std::u16string kWords[] = {
    u"&File",  u"&Open",  u"E&xit",        u"OK",
    u"Cancel", u"About",  u"Ab",           u"x",
    u"",       u"Static", u"MS Shell Dlg", u"Hello world",
    u"&Edit",  u"pen",    u"Button",       u"\xFFFF\x0041",
};
constexpr size_t kWordCount = sizeof kWords / sizeof kWords[0];

std::u16string word(RecipeReader* in) {
  std::u16string text = kWords[in->below(kWordCount)];
  // Now and then a longer or shorter variant, to move lengths by odd and even
  // amounts and to make tails of texts match.
  switch (in->below(4)) {
    case 1:
      text += u"!";
      break;
    case 2:
      text = u"Q" + text;
      break;
    default:
      break;
  }
  return text;
}

std::vector<MenuItem> menu_items(RecipeReader* in, int depth) {
  std::vector<MenuItem> items(1 + in->below(3));
  for (MenuItem& item : items) {
    item.text = word(in);
    // Above the characters of the texts, so that no ID word joins a text.
    item.id = 0x100u + in->next();
    if (depth < 2 && in->below(4) == 0) {
      item.children = menu_items(in, depth + 1);
    }
  }
  return items;
}

// An ordinal or a text.
testsupport::DialogField field(RecipeReader* in, bool allow_ordinal) {
  if (allow_ordinal && in->flag()) {
    return testsupport::ordinal_field(
        static_cast<uint16_t>(0x80 + in->below(6)));
  }
  std::u16string text = word(in);
  // In a field that may hold an ordinal, 0xFFFF first means an ordinal.
  if (allow_ordinal && !text.empty() && text[0] == 0xFFFF) text[0] = u'Q';
  return testsupport::text_field(text);
}

// Creation data: the count W, then the data units, where texts may sit.
void creation_data(RecipeReader* in, bool extended,
                   testsupport::DialogControl* control) {
  size_t unit_count = in->below(6);
  bool odd = unit_count > 0 && in->flag();
  uint32_t data_bytes = static_cast<uint32_t>(2 * unit_count - (odd ? 1 : 0));
  control->data_count =
      static_cast<uint16_t>(extended ? data_bytes : data_bytes + 2);
  if (!extended && unit_count == 0 && in->flag()) {
    control->data_count = 1;  // W = 1: none
  }
  std::vector<uint16_t>& data = control->data;
  while (data.size() < unit_count) {
    if (in->flag()) {
      for (char16_t unit : word(in)) data.push_back(unit);
      data.push_back(0);
    } else {
      data.push_back(in->next());
    }
  }
  data.resize(unit_count);
}

Bytes make_dialog(RecipeReader* in, bool extended) {
  testsupport::DialogSpec dialog;
  dialog.extended = extended;
  uint8_t flags = in->next();
  dialog.style = 0x80C00000u | (flags & 0x48u);  // DS_SETFONT, DS_FIXEDSYS
  bool has_font = (dialog.style & testsupport::kDsSetFont) != 0;
  bool message_font = (flags & 0x80u) != 0;
  dialog.controls.resize(in->below(5));
  dialog.menu = field(in, true);
  dialog.window_class = field(in, true);
  dialog.title = field(in, false).text;
  if (has_font) {
    dialog.point_size = message_font ? 0x7FFF : 8;
    if (!message_font) dialog.typeface = field(in, false).text;
  }
  for (size_t m = 0; m < dialog.controls.size(); ++m) {
    testsupport::DialogControl& control = dialog.controls[m];
    control.id = static_cast<uint32_t>(100 + m);
    control.window_class = field(in, true);
    control.title = field(in, true);
    creation_data(in, extended, &control);
  }
  return testsupport::make_dialog(dialog);
}

// One resource of the recipe: its type and data.
struct RecipeItem {
  testsupport::ResourceName type;
  Bytes data;
};

// Version information: one or two tables of up to three values.
Bytes make_version(RecipeReader* in) {
  static const char16_t* const kKeys[] = {u"FileDescription", u"ProductName",
                                          u"Comments"};
  std::vector<testsupport::Table> tables(1 + in->below(2));
  for (size_t t = 0; t < tables.size(); ++t) {
    tables[t].key = t == 0 ? u"040904B0" : u"040704B0";
    for (size_t k = 0; k < 1 + in->below(3); ++k) {
      tables[t].strings.push_back({kKeys[k], word(in)});
    }
  }
  return testsupport::version_block(tables);
}

// A message table: one or two blocks of up to three Unicode entries.
Bytes make_messages(RecipeReader* in) {
  std::vector<testsupport::Block> blocks(1 + in->below(2));
  uint32_t id = 1;
  for (testsupport::Block& block : blocks) {
    block.low_id = id;
    for (size_t k = 0; k < 1 + in->below(3); ++k) {
      block.entries.push_back(testsupport::unicode_entry(word(in) + u"\r\n"));
    }
    id += 0x100;
  }
  return testsupport::message_table(blocks);
}

RecipeItem make_item(RecipeReader* in) {
  switch (in->below(9)) {
    case 0:
      return {testsupport::rid(4), testsupport::make_menu(menu_items(in, 0))};
    case 1:
      return {testsupport::rid(4), testsupport::make_menuex(menu_items(in, 0))};
    case 2:
      return {testsupport::rid(5), make_dialog(in, false)};
    case 3:
      return {testsupport::rid(5), make_dialog(in, true)};
    case 4:  // not a menu: copied as it is even though it looks like one
      return {testsupport::rid(6), testsupport::make_menu(menu_items(in, 0))};
    case 5:  // a named type is never a menu or a dialog
      return {testsupport::rname(u"MENU"), make_dialog(in, false)};
    case 6:
      return {testsupport::rid(16), make_version(in)};
    case 7:
      return {testsupport::rid(11), make_messages(in)};
    default: {  // an odd-sized menu: the last unit takes in a byte more
      Bytes menu = testsupport::make_menu(menu_items(in, 0));
      menu.push_back(static_cast<uint8_t>(in->next()));
      return {testsupport::rid(4), menu};
    }
  }
}

testsupport::ResourceTreeSpec make_tree(RecipeReader* in) {
  testsupport::ResourceTreeSpec tree;
  static const uint32_t kSteps[] = {4, 8, 16};
  tree.data_step = kSteps[in->below(3)];
  tree.reverse_data_entries = in->flag();
  size_t item_count = 1 + in->below(5);
  for (size_t i = 0; i < item_count; ++i) {
    RecipeItem item = make_item(in);
    auto type = std::find_if(tree.types.begin(), tree.types.end(),
                             [&](const testsupport::ResourceTypeSpec& t) {
                               return t.type == item.type;
                             });
    if (type == tree.types.end()) {
      tree.types.push_back({item.type, {}});
      type = tree.types.end() - 1;
    }
    testsupport::ResourceEntrySpec entry;
    entry.name =
        in->flag()
            ? testsupport::rname(
                  u"N" + std::u16string(1, u'a' + static_cast<char16_t>(i)))
            : testsupport::rid(static_cast<uint32_t>(1 + i));
    entry.languages.push_back({0x409, item.data, 1252});
    type->entries.push_back(entry);
  }
  return tree;
}

void damage(RecipeReader* in, Recipe* recipe) {
  Bytes& bytes = recipe->image.image.bytes;
  size_t start = recipe->image.rsrc_raw;
  size_t length = recipe->image.resources.bytes.size();
  if (length == 0) return;
  while (!in->exhausted()) {
    size_t offset = (size_t{in->next()} << 8 | in->next()) % length;
    bytes[start + offset] = in->next();
    recipe->damaged = true;
  }
}

}  // namespace

Recipe decode_recipe(const uint8_t* data, size_t size) {
  RecipeReader in{data, size, 0};
  Recipe recipe;
  uint8_t flags = in.next();
  testsupport::ResourceImageOptions options;
  options.pe32_plus = (flags & 1) != 0;
  static const uint32_t kAlignments[] = {0x200, 0x1000, 0x10, 0x80};
  options.file_alignment = kAlignments[(flags >> 1) & 3];
  options.with_reloc = (flags & 8) == 0;
  if ((flags & 16) != 0) options.rsrc_virtual_size = 0x10000;
  recipe.identity_list = (flags & 32) != 0;
  bool with_damage = (flags & 64) != 0;

  size_t pair_count = in.below(5);
  for (size_t i = 0; i < pair_count; ++i) {
    std::u16string find = word(&in);
    std::u16string replacement = recipe.identity_list ? find : word(&in);
    recipe.pairs.emplace_back(find, replacement);
  }
  recipe.image = testsupport::make_resource_image(make_tree(&in), options);
  if (with_damage) damage(&in, &recipe);
  return recipe;
}

Bytes recipe_list_file(const Recipe& recipe) {
  return testsupport::make_pair_list(recipe.pairs);
}

}  // namespace fuzzsupport
