// SPDX-License-Identifier: MIT
// Bounds-checked little-endian access to untrusted byte buffers.
//
// Every read of bytes that came from a file goes through these helpers: the
// range is checked in 64-bit arithmetic first, then the value is assembled
// byte by byte, so unaligned positions and offsets near the top of the
// 32-bit range are both safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace uitrans {

// A read-only view of a whole buffer (an image or a list file).
struct ByteSpan {
  const uint8_t* data = nullptr;
  size_t size = 0;
};

// True when [offset, offset + length) lies inside a buffer of `size` bytes.
inline bool range_fits(uint64_t offset, uint64_t length, uint64_t size) {
  return offset <= size && length <= size - offset;
}

inline bool read_u8(ByteSpan span, uint64_t offset, uint8_t* out) {
  if (!range_fits(offset, 1, span.size)) return false;
  *out = span.data[offset];
  return true;
}

inline bool read_u16(ByteSpan span, uint64_t offset, uint16_t* out) {
  if (!range_fits(offset, 2, span.size)) return false;
  const uint8_t* p = span.data + offset;
  *out = static_cast<uint16_t>(p[0] | (p[1] << 8));
  return true;
}

inline bool read_u32(ByteSpan span, uint64_t offset, uint32_t* out) {
  if (!range_fits(offset, 4, span.size)) return false;
  const uint8_t* p = span.data + offset;
  *out = static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
  return true;
}

// Writers for buffers the tool owns; the caller has checked the range.
inline void store_u16(uint8_t* p, uint16_t value) {
  p[0] = static_cast<uint8_t>(value);
  p[1] = static_cast<uint8_t>(value >> 8);
}

inline void store_u32(uint8_t* p, uint32_t value) {
  p[0] = static_cast<uint8_t>(value);
  p[1] = static_cast<uint8_t>(value >> 8);
  p[2] = static_cast<uint8_t>(value >> 16);
  p[3] = static_cast<uint8_t>(value >> 24);
}

// Checked writers for buffers whose offsets came from a file.
inline bool write_u32(uint8_t* data, size_t size, uint64_t offset,
                      uint32_t value) {
  if (!range_fits(offset, 4, size)) return false;
  store_u32(data + offset, value);
  return true;
}

inline bool write_u16(uint8_t* data, size_t size, uint64_t offset,
                      uint16_t value) {
  if (!range_fits(offset, 2, size)) return false;
  store_u16(data + offset, value);
  return true;
}

// A view of 16-bit little-endian units starting at any byte of a buffer.
// Only whole units count: a trailing odd byte of the buffer is outside.
struct UnitView {
  const uint8_t* bytes = nullptr;
  size_t unit_count = 0;

  uint16_t at(size_t index) const {  // caller ensures index < unit_count
    const uint8_t* p = bytes + 2 * index;
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
  }
};

// The units of `span` from byte `offset` to the end of the buffer.
inline UnitView units_from(ByteSpan span, uint64_t offset) {
  UnitView view;
  if (offset > span.size) return view;
  view.bytes = span.data + offset;
  view.unit_count = static_cast<size_t>((span.size - offset) / 2);
  return view;
}

inline uint64_t align_up(uint64_t value, uint64_t alignment) {
  return (value + alignment - 1) & ~(alignment - 1);
}

inline bool is_power_of_two(uint64_t value) {
  return value != 0 && (value & (value - 1)) == 0;
}

}  // namespace uitrans
