// Rebuilding the resource section: the directory prefix is kept (with its
// data entries patched), and every data item is repacked into a fresh data
// area, menus and dialogs rewritten on the way.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/bytes.h"
#include "image/image_info.h"
#include "replace/replacement_table.h"

namespace uitrans {

inline constexpr uint32_t kItemHeadroom = 102400;  // 100 KiB beyond the item
inline constexpr uint32_t kResourceTypeMenu = 4;
inline constexpr uint32_t kResourceTypeDialog = 5;

// The rebuilt data area. Every byte between `used` and `capacity` is zero, so
// units a rewriter skips for alignment read as zero. The allocation may be
// larger than `capacity`; bytes beyond it are zeroed when they are reserved.
struct RebuildOutput {
  uint8_t* data = nullptr;
  uint32_t used = 0;
  uint32_t capacity = 0;       // bytes usable, zero from `used` on
  uint32_t allocated = 0;      // bytes allocated
  uint32_t reallocations = 0;  // counted for the benchmarks
  uint64_t bytes_moved = 0;
};

// Makes `capacity` bytes usable (zero-filled) when fewer are.
bool reserve_output(RebuildOutput* out, uint64_t capacity);
void release_output(RebuildOutput* out);

enum class RebuildStatus { ok, invalid_image, out_of_memory };

// What the rewriters work with for one item.
struct ItemContext {
  ByteSpan image;            // the whole image buffer
  uint64_t item_offset = 0;  // where the item starts in the image
  uint32_t size = 0;         // the item's Size in the input
  const ReplacementTable* table = nullptr;
  RebuildOutput* output = nullptr;  // the item starts at output->used
  int32_t* replaced_count = nullptr;
};

// Each rewriter writes the item at output->used and returns its new Size in
// *new_size.
RebuildStatus rewrite_menu(const ItemContext& item, uint32_t* new_size);
RebuildStatus rewrite_dialog(const ItemContext& item, uint32_t* new_size);

// The size of the directory prefix (every directory, entry array, name string
// and data entry), rounded up to 16.
RebuildStatus measure_directory_prefix(ByteSpan image, uint64_t root,
                                       uint32_t* prefix_size);

// The whole rebuild of one image.
struct RebuildResult {
  RebuildStatus status = RebuildStatus::ok;
  uint32_t prefix_size = 0;
  int32_t replaced_count = 0;
};

// Measures the prefix, walks the tree and repacks every item into `output`,
// patching the data entries inside `image`.
RebuildResult rebuild_resources(uint8_t* image, size_t image_size,
                                const ImageInfo& info,
                                const ReplacementTable& table,
                                RebuildOutput* output);

}  // namespace uitrans
