// SPDX-License-Identifier: MIT
// Rebuilding the resource section: the directory prefix is kept (with its
// data entries patched), and every data item is repacked into a fresh data
// area, the items of the kinds a run asks for rewritten on the way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/bytes.h"
#include "common/outcome.h"
#include "image/image_info.h"
#include "replace/replacement_table.h"
#include "resources/directory_writer.h"
#include "resources/resource_kinds.h"
#include "resources/resource_labels.h"

namespace uitrans {

struct RewriteLog;  // text_record.h

// Room made beyond an item before it is written. Replacements rarely add
// 100 KiB to one item, so almost every item is written without growing the
// output midway; when they do, the output grows by this much again, so a
// long run of growth costs a linear number of checks, not one per unit.
inline constexpr uint32_t kItemHeadroom = 102400;

// Releases the rebuild output's allocation (made with realloc).
struct OutputRelease {
  void operator()(uint8_t* data) const { std::free(data); }
};

// A piece of the data area: an item kept where it lies in the image, or one
// written into the rebuild output.
struct AreaPiece {
  bool in_image = false;
  uint64_t offset = 0;  // into the image or the output buffer
  uint32_t size = 0;    // followed by zeros up to a multiple of 16
};

// The rebuilt data area. Every byte between `used` and `capacity` is zero, so
// units a rewriter skips for alignment read as zero. The allocation may be
// larger than `capacity`; bytes beyond it are zeroed when they are reserved.
// It is released when the output goes out of scope.
//
// Items are packed at 16-byte steps. Unless items are referenced, the
// buffer is the whole data area (`area_size` == `used`); with references,
// items copied unchanged stay in the image and `pieces` lists the area in
// order.
struct RebuildOutput {
  std::unique_ptr<uint8_t, OutputRelease> memory;
  uint8_t* data = nullptr;  // memory.get(), for the writers
  uint32_t used = 0;
  uint32_t capacity = 0;    // bytes usable, zero from `used` on
  uint32_t allocated = 0;   // bytes allocated
  uint32_t area_size = 0;   // bytes of the data area so far
  bool referenced = false;  // `pieces` describes the area
  std::vector<AreaPiece> pieces;
  // Told of every new allocation before it is filled (the driver passes
  // the platform's large-page hint); may be null.
  void (*prepare_memory)(void* data, size_t size) = nullptr;
};

// Makes `capacity` bytes usable (zero-filled) when fewer are.
bool reserve_output(RebuildOutput* out, uint64_t capacity);
// Releases the allocation early and empties the output.
void release_output(RebuildOutput* out);

// What a rebuild noticed beyond what it replaced.
struct RebuildNotes {
  uint32_t undecodable = 0;  // 8-bit texts not valid in their code page
  uint32_t refused = 0;      // translations whose placeholders differ
};

// Where an item lies, as catalogue contexts name places: the executable's
// name as given and its own file name (UTF-8), and the resource's labels.
struct ItemPlace {
  std::string_view file;
  std::string_view own_file;
  ResourceLabels labels;
};

// What a rewriter works with for one item. It writes the item at
// output->used, adds every text it replaces to *replaced_count and, with a
// log, records every text it looks up.
struct ItemContext {
  ItemSource item;
  const ReplacementTable* table = nullptr;
  RebuildOutput* output = nullptr;
  int32_t* replaced_count = nullptr;
  RewriteLog* log = nullptr;
  RebuildNotes* notes = nullptr;
  // Only when the table has entries with contexts: a hit is then resolved to
  // the variant that applies at its place (resolve_at_place).
  const ItemPlace* place = nullptr;
  // Widen dialog controls whose translated titles no longer fit, where
  // the free space beside them allows.
  bool fit = false;
};

// The size of the directory prefix (every directory, entry array, name string
// and data entry), rounded up to 16; not_valid when the tree does not read.
Outcome measure_directory_prefix(ByteSpan image, uint64_t root,
                                 uint32_t* prefix_size);

// A translated copy made while adding a language: of the item `source`
// (counted in walk order), placed in the data area.
struct AddedCopy {
  uint32_t source = 0;
  ItemPlacement placement;
};

// The whole rebuild of one image.
struct RebuildResult {
  Outcome outcome;  // not_valid or out_of_memory when it stopped
  uint32_t prefix_size = 0;
  int32_t replaced_count = 0;
  RebuildNotes notes;
  // When adding a language: where every item of the walk lies in the data
  // area (by walk order; an item the copy replaces stays at size 0 and out
  // of the area), and the copies.
  std::vector<ItemPlacement> placements;
  std::vector<AddedCopy> copies;
};

// Where the item of a data entry starts in the image, checked as every pass
// checks it: the bytes its kind reads (all `size` for a kind only copied,
// null) must lie inside the image. False when they do not.
bool locate_item(ByteSpan image, const ImageInfo& info,
                 const ResourceKind* kind, uint32_t data_rva, uint32_t size,
                 uint64_t* item_offset);

// What a rebuild does beyond menus and dialogs.
struct RebuildOptions {
  KindSelection kinds;        // the kinds rewritten beyond those always
  RewriteLog* log = nullptr;  // record every text looked up
  bool fit = false;           // widen dialog controls for their texts
  // The executable's name as given and its own file name (UTF-8), for
  // contexts limited to one file.
  std::string file_name;
  std::string own_file_name;
  // Items copied unchanged are referenced in the image instead of copied,
  // where nothing the output stage patches can overlap them.
  bool reference_unchanged = false;
  // Gives back the image memory behind items already moved into the output
  // (the image is a private mapping of its file, and those pages were never
  // written). Null keeps all of it.
  void (*release_pages)(const void* data, size_t size) = nullptr;
  // Adds a language: every item is copied unchanged, and each item of the
  // one language in kinds.languages in which a text is replaced is written
  // again, translated, as a copy in `added_language` (listed in the result,
  // for a directory written anew). Items already in `added_language` that a
  // copy replaces are left out of the area.
  bool add_language = false;
  uint16_t added_language = 0;
};

// Measures the prefix, walks the tree and repacks every item into `output`,
// patching the data entries inside `image`.
RebuildResult rebuild_resources(uint8_t* image, size_t image_size,
                                const ImageInfo& info,
                                const ReplacementTable& table,
                                RebuildOutput* output,
                                const RebuildOptions& options = {});

}  // namespace uitrans
