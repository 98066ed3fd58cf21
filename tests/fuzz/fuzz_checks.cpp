// SPDX-License-Identifier: MIT
#include "fuzz/fuzz_checks.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/recipe.h"
#include "image/image_info.h"
#include "image/output.h"
#include "replace/po_catalogue.h"
#include "replace/replacement_table.h"
#include "resources/rebuild.h"
#include "support/dialog_template.h"
#include "support/lookup_reference.h"
#include "support/scan_lookup.h"

#define FUZZ_CHECK(condition)                                                  \
  do {                                                                         \
    if (!(condition)) {                                                        \
      std::fprintf(stderr, "%s:%d: property broken: %s\n", __FILE__, __LINE__, \
                   #condition);                                                \
      std::abort();                                                            \
    }                                                                          \
  } while (0)

namespace fuzzsupport {

namespace {

using uitrans::ByteSpan;
using uitrans::kNoEntry;
using uitrans::ReplacementTable;
using uitrans::UnitView;

// --- Lists and lookups ----------------------------------------------------

void check_table_shape(const ReplacementTable& table) {
  const char16_t* first = table.list_units.get();
  const char16_t* last = first + table.list_unit_count;
  for (size_t i = 0; i < table.entries.size(); ++i) {
    const uitrans::ReplacementEntry& entry = table.entries[i];
    FUZZ_CHECK(entry.find_length >= 2 && entry.replacement_length >= 2);
    FUZZ_CHECK(entry.find >= first && entry.find + entry.find_length < last);
    FUZZ_CHECK(entry.replacement >= first &&
               entry.replacement + entry.replacement_length < last);
    FUZZ_CHECK(entry.find[entry.find_length] == 0);
    FUZZ_CHECK(entry.replacement[entry.replacement_length] == 0);
    if (i > 0) {
      FUZZ_CHECK(table.entries[i - 1].find_length >= entry.find_length);
    }
  }
}

// Walks units [start, end) the way the rewriters do (a hit jumps over the
// find text and its terminator) with the scanner, against the plain scan.
void check_scan(const ReplacementTable& table, UnitView units, size_t start,
                size_t end, bool bounded) {
  testsupport::RunScanner scanner;
  testsupport::start_run_scan(&scanner, units, end);
  size_t position = start;
  while (position < end) {
    size_t max_units = bounded ? end - position : SIZE_MAX;
    uint32_t hit =
        testsupport::scan_lookup(table, &scanner, position, max_units);
    FUZZ_CHECK(hit == testsupport::find_replacement_by_scan(
                          table, units, position, max_units));
    position += hit == kNoEntry ? 1 : table.entries[hit].find_length + 1;
  }
}

void check_lookups(const ReplacementTable& table,
                   const std::vector<uint8_t>& bytes) {
  UnitView units{bytes.data(), bytes.size() / 2};
  for (size_t position = 0; position <= units.unit_count; ++position) {
    FUZZ_CHECK(uitrans::find_replacement(table, units, position) ==
               testsupport::find_replacement_by_scan(table, units, position));
  }
  check_scan(table, units, 0, units.unit_count, false);
  // Creation-data windows of a few sizes at a few places.
  for (size_t length : {size_t{1}, size_t{3}, size_t{8}, size_t{33}}) {
    for (size_t start = 0; start + length <= units.unit_count;
         start += length + 5) {
      check_scan(table, units, start, start + length, true);
    }
  }
}

std::vector<uint8_t> units_as_bytes(const ReplacementTable& table) {
  std::vector<uint8_t> bytes;
  bytes.reserve(2 * table.list_unit_count);
  for (size_t i = 0; i < table.list_unit_count; ++i) {
    char16_t unit = table.list_units[i];
    bytes.push_back(static_cast<uint8_t>(unit));
    bytes.push_back(static_cast<uint8_t>(unit >> 8));
  }
  return bytes;
}

// --- Images ----------------------------------------------------------------

const ReplacementTable& fixed_table() {
  static const ReplacementTable table = [] {
    ReplacementTable parsed;
    testsupport::Bytes list = testsupport::make_pair_list({
        {u"&File", u"&Datei"},
        {u"OK", u"Okay"},
        {u"Ab", u"Abc"},
        {u"Cancel", u"No"},
        {u"pen", u"PEN!"},
        {u"MS Shell Dlg", u"Tahoma"},
        {u"\x0101\x0101", u"\x0202\x0202\x0202"},
    });
    uitrans::parse_replacement_list(ByteSpan{list.data(), list.size()},
                                    &parsed);
    return parsed;
  }();
  return table;
}

bool inside(const uint8_t* start, size_t size, const uitrans::WriteChunk& c) {
  return c.data >= start && c.size <= size &&
         static_cast<size_t>(c.data - start) <= size - c.size;
}

// Lays the output out in memory and checks it against the rebuild.
void check_output(uitrans::ImageBuffer* image, const uitrans::ImageInfo& info,
                  const uitrans::RebuildResult& result,
                  const uitrans::RebuildOutput& rebuilt) {
  FUZZ_CHECK(rebuilt.used <= rebuilt.capacity);
  for (uint32_t i = rebuilt.used; i < rebuilt.capacity; ++i) {
    FUZZ_CHECK(rebuilt.data[i] == 0);  // nothing written past the items
  }
  size_t original_size = image->size;
  uitrans::OutputImage layout;
  if (!uitrans::compose_output(image, info, result.prefix_size,
                               ByteSpan{rebuilt.data, rebuilt.used}, &layout)
           .ok()) {
    return;  // refused: nothing is laid out or written
  }
  uint64_t expected_size = layout.grown ? uint64_t{original_size} +
                                              layout.new_resource_size -
                                              info.resource_raw_size
                                        : original_size;
  FUZZ_CHECK(layout.total_size == expected_size);
  // Zero chunks are only counted: a large FileAlignment makes them huge.
  uint64_t total = 0;
  uint32_t byte_sum = 0;
  for (const uitrans::WriteChunk& chunk : layout.chunks) {
    total += chunk.size;
    if (chunk.data == nullptr) continue;
    FUZZ_CHECK(inside(image->data.get(), image->size, chunk) ||
               inside(rebuilt.data, rebuilt.used, chunk));
    for (size_t i = 0; i < chunk.size; ++i) byte_sum += chunk.data[i];
  }
  FUZZ_CHECK(total == layout.total_size);
  (void)byte_sum;
}

// Every kind is rewritten: string tables, version information and message
// tables as well as menus and dialogs.
void rebuild_and_check(uitrans::ImageBuffer* image,
                       const uitrans::ImageInfo& info,
                       const ReplacementTable& table,
                       uitrans::RebuildOutput* rebuilt,
                       uitrans::RebuildResult* result) {
  uitrans::RebuildOptions options;
  options.kinds.string_tables = true;
  options.kinds.version_info = true;
  options.kinds.message_tables = true;
  *result = uitrans::rebuild_resources(image->data.get(), image->size, info,
                                       table, rebuilt, options);
  if (!result->outcome.ok()) return;
  FUZZ_CHECK(result->prefix_size % 16 == 0);
  FUZZ_CHECK(uint64_t{info.resource_raw_pointer} + result->prefix_size <=
             image->size);
  check_output(image, info, *result, *rebuilt);
}

uitrans::ImageBuffer copy_image(const uint8_t* data, size_t size) {
  uitrans::ImageBuffer image;
  image.data.reset(new uint8_t[size > 0 ? size : 1]);
  image.size = size;
  if (size > 0) std::memcpy(image.data.get(), data, size);
  return image;
}

// Every item of a builder-made tree, found through its patched data entry,
// equals the item that went in (an odd-sized menu gains its last byte).
void check_items_unchanged(const Recipe& recipe,
                           const uitrans::ImageBuffer& image,
                           const uitrans::RebuildResult& result,
                           const uitrans::RebuildOutput& rebuilt) {
  const testsupport::BuiltResources& tree = recipe.image.resources;
  uint32_t data_start = testsupport::kRsrcRva + result.prefix_size;
  for (size_t k = 0; k < tree.items.size(); ++k) {
    size_t entry = recipe.image.rsrc_raw + tree.data_entry_offsets[k];
    uint32_t rva = 0;
    uint32_t size = 0;
    FUZZ_CHECK(uitrans::read_u32(image.span(), entry, &rva) &&
               uitrans::read_u32(image.span(), entry + 4, &size));
    const testsupport::Bytes& item = tree.items[k];
    bool odd_menu =
        tree.item_types[k] == testsupport::rid(4) && item.size() % 2 != 0;
    FUZZ_CHECK(size == item.size() + (odd_menu ? 1 : 0));
    FUZZ_CHECK(rva >= data_start);
    uint64_t offset = rva - data_start;
    FUZZ_CHECK(offset + size <= rebuilt.used);
    FUZZ_CHECK(std::equal(item.begin(), item.end(), rebuilt.data + offset));
  }
}

// Reads a rewritten menu template the way a loader would. Fails on a field
// that runs past the item, a misaligned item with a non-zero gap, or bytes
// left over at the end. (Dialogs are read by the test support's reader.)
struct TemplateReader {
  const uint8_t* bytes = nullptr;
  size_t size = 0;
  size_t position = 0;

  bool unit(uint16_t* out) {
    if (size - position < 2) return false;
    *out = static_cast<uint16_t>(bytes[position] | (bytes[position + 1] << 8));
    position += 2;
    return true;
  }
  bool skip_units(size_t count) {
    if ((size - position) / 2 < count) return false;
    position += 2 * count;
    return true;
  }
  bool text() {
    for (uint16_t value = 1; value != 0;) {
      if (!unit(&value)) return false;
    }
    return true;
  }
  bool align() {
    while (position % 4 != 0) {
      uint16_t gap = 0;
      if (!unit(&gap) || gap != 0) return false;
    }
    return true;
  }
  // The end, allowing zero padding to the next 4-byte boundary.
  bool at_end() {
    if (position == size) return true;
    return align() && position == size;
  }
};

bool read_menu_items(TemplateReader* r, int depth) {
  if (depth > 16) return false;
  for (uint16_t flags = 0; (flags & 0x80) == 0;) {
    if (!r->unit(&flags)) return false;
    if ((flags & 0x10) == 0 && !r->skip_units(1)) return false;  // the ID
    if (!r->text()) return false;
    if ((flags & 0x10) != 0 && !read_menu_items(r, depth + 1)) return false;
  }
  return true;
}

bool read_menuex_items(TemplateReader* r, int depth) {
  if (depth > 16) return false;
  for (uint16_t info = 0; (info & 0x80) == 0;) {
    if (!r->align() || !r->skip_units(6) || !r->unit(&info) || !r->text() ||
        !r->align()) {
      return false;
    }
    if ((info & 0x01) != 0 &&
        (!r->skip_units(2) || !read_menuex_items(r, depth + 1))) {
      return false;
    }
  }
  return true;
}

bool read_menu(TemplateReader* r) {
  uint16_t version = 0;
  uint16_t offset = 0;
  if (!r->unit(&version) || !r->unit(&offset)) return false;
  if (version == 1) {
    return r->skip_units(offset / 2) && read_menuex_items(r, 0) && r->at_end();
  }
  return read_menu_items(r, 0) && r->position == r->size;
}

// Every rewritten menu and dialog of a builder-made tree still reads as a
// template of its kind.
void check_templates_readable(const Recipe& recipe,
                              const uitrans::ImageBuffer& image,
                              const uitrans::RebuildResult& result,
                              const uitrans::RebuildOutput& rebuilt) {
  const testsupport::BuiltResources& tree = recipe.image.resources;
  uint32_t data_start = testsupport::kRsrcRva + result.prefix_size;
  for (size_t k = 0; k < tree.items.size(); ++k) {
    bool menu = tree.item_types[k] == testsupport::rid(4);
    bool dialog = tree.item_types[k] == testsupport::rid(5);
    if ((!menu && !dialog) || tree.items[k].size() % 2 != 0) continue;
    size_t entry = recipe.image.rsrc_raw + tree.data_entry_offsets[k];
    uint32_t rva = 0;
    uint32_t size = 0;
    FUZZ_CHECK(uitrans::read_u32(image.span(), entry, &rva) &&
               uitrans::read_u32(image.span(), entry + 4, &size));
    FUZZ_CHECK(rva >= data_start &&
               rva - data_start + uint64_t{size} <= rebuilt.used);
    const uint8_t* item = rebuilt.data + (rva - data_start);
    if (menu) {
      TemplateReader reader{item, size, 0};
      FUZZ_CHECK(read_menu(&reader));
    } else {
      testsupport::DialogSpec dialog;
      std::string error;
      FUZZ_CHECK(testsupport::read_dialog(item, size, &dialog, &error));
    }
  }
}

// The same bytes read as a gettext catalogue: a table of the same shape, or
// a refusal that names a line.
void check_catalogue_input(const uint8_t* data, size_t size) {
  ReplacementTable table;
  uitrans::CatalogueProblem problem;
  if (uitrans::parse_catalogue(ByteSpan{data, size}, &table, &problem) !=
      uitrans::ListLoadStatus::ok) {
    FUZZ_CHECK(problem.error != uitrans::CatalogueError::none &&
               problem.line >= 1);
    return;
  }
  check_table_shape(table);
  check_lookups(table, units_as_bytes(table));
}

}  // namespace

void check_list_input(const uint8_t* data, size_t size) {
  check_catalogue_input(data, size);
  ReplacementTable table;
  if (uitrans::parse_replacement_list(ByteSpan{data, size}, &table) !=
      uitrans::ListLoadStatus::ok) {
    return;
  }
  check_table_shape(table);
  // Probes: the parsed list itself (every find text sits there, terminated)
  // and the raw input read as units.
  check_lookups(table, units_as_bytes(table));
  check_lookups(table, std::vector<uint8_t>(data, data + size));
}

void check_image_input(const uint8_t* data, size_t size) {
  uitrans::ImageBuffer image = copy_image(data, size);
  uitrans::ImageInfo info;
  if (!uitrans::validate_image(image.span(), &info).ok()) {
    return;
  }
  FUZZ_CHECK(uint64_t{info.resource_raw_pointer} + info.resource_raw_size <=
             size);
  uitrans::RebuildOutput rebuilt;
  uitrans::RebuildResult result;
  rebuild_and_check(&image, info, fixed_table(), &rebuilt, &result);
  uitrans::release_output(&rebuilt);
}

void check_structured_input(const uint8_t* data, size_t size) {
  Recipe recipe = decode_recipe(data, size);
  testsupport::Bytes list = recipe_list_file(recipe);
  ReplacementTable table;
  FUZZ_CHECK(uitrans::parse_replacement_list(ByteSpan{list.data(), list.size()},
                                             &table) ==
             uitrans::ListLoadStatus::ok);
  const testsupport::Bytes& bytes = recipe.image.image.bytes;
  uitrans::ImageBuffer image = copy_image(bytes.data(), bytes.size());
  uitrans::ImageInfo info;
  FUZZ_CHECK(uitrans::validate_image(image.span(), &info).ok());
  uitrans::RebuildOutput rebuilt;
  uitrans::RebuildResult result;
  rebuild_and_check(&image, info, table, &rebuilt, &result);
  if (!recipe.damaged) {
    FUZZ_CHECK(result.outcome.ok());
    if (recipe.identity_list) {
      check_items_unchanged(recipe, image, result, rebuilt);
    }
    // A control title replaced by a text that starts with 0xFFFF reads as
    // an ordinal: such a list makes templates no loader can read.
    bool ordinal_like = std::any_of(table.entries.begin(), table.entries.end(),
                                    [](const uitrans::ReplacementEntry& e) {
                                      return e.replacement[0] == 0xFFFF;
                                    });
    if (!ordinal_like) check_templates_readable(recipe, image, result, rebuilt);
  }
  uitrans::release_output(&rebuilt);
}

}  // namespace fuzzsupport
