// SPDX-License-Identifier: MIT
// The copy floor: the least work the rebuild design needs. It reads the file
// into fresh memory with one read, copies the resource section once into a
// second fresh buffer, and writes the file back from the two buffers (with
// the same flush to stable storage the tool does before its rename).
// Usage: copy_floor INPUT OUTPUT
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

uint32_t get32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 |
         uint32_t{p[3]} << 24;
}

uint16_t get16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}

bool read_all(int fd, uint8_t* buffer, size_t size) {
  size_t done = 0;
  while (done < size) {
    ssize_t got = read(fd, buffer + done, size - done);
    if (got <= 0) return false;
    done += static_cast<size_t>(got);
  }
  return true;
}

bool write_all(int fd, const uint8_t* data, size_t size) {
  while (size > 0) {
    ssize_t put = write(fd, data, size);
    if (put <= 0) return false;
    data += put;
    size -= static_cast<size_t>(put);
  }
  return true;
}

// The resource section's raw range, or the whole file when none is found.
void find_resources(const uint8_t* image, size_t size, size_t* start,
                    size_t* length) {
  *start = 0;
  *length = size;
  if (size < 64) return;
  uint32_t nt = get32(image + 0x3C);
  if (uint64_t{nt} + 24 > size) return;
  uint16_t sections = get16(image + nt + 6);
  uint16_t optional_size = get16(image + nt + 20);
  uint64_t table = uint64_t{nt} + 24 + optional_size;
  for (uint16_t i = 0; i < sections; ++i) {
    uint64_t header = table + 40u * i;
    if (header + 40 > size) return;
    if (std::memcmp(image + header, ".rsrc\0", 6) != 0) continue;
    uint64_t raw_size = get32(image + header + 16);
    uint64_t raw_pointer = get32(image + header + 20);
    if (raw_pointer > size) return;
    if (raw_size > size - raw_pointer) raw_size = size - raw_pointer;
    *start = raw_pointer;
    *length = raw_size;
    return;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: copy_floor INPUT OUTPUT\n");
    return 2;
  }
  int in = open(argv[1], O_RDONLY);
  struct stat info;
  if (in < 0 || fstat(in, &info) != 0) return 1;
  size_t size = static_cast<size_t>(info.st_size);
  uint8_t* image = static_cast<uint8_t*>(std::malloc(size ? size : 1));
  if (image == nullptr || !read_all(in, image, size)) return 1;
  close(in);

  size_t start = 0;
  size_t length = 0;
  find_resources(image, size, &start, &length);
  uint8_t* section = static_cast<uint8_t*>(std::malloc(length ? length : 1));
  if (section == nullptr) return 1;
  std::memcpy(section, image + start, length);

  int out = open(argv[2], O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (out < 0) return 1;
  bool ok = write_all(out, image, start) && write_all(out, section, length) &&
            write_all(out, image + start + length, size - start - length) &&
            fsync(out) == 0;
  ok = close(out) == 0 && ok;
  std::free(section);
  std::free(image);
  return ok ? 0 : 1;
}
