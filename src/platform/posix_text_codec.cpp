// SPDX-License-Identifier: MIT
// Code page decoding through iconv, which glibc and the BSD libcs carry, so
// no library is added. glibc names the Windows code pages "CP" and their
// number.
#include <iconv.h>

#include <cerrno>
#include <cstdio>
#include <vector>

#include "platform/text_codec.h"

namespace uitrans::platform {

namespace {

void iconv_name(uint32_t code_page, char (&name)[16]) {
  if (code_page == kUtf8CodePage) {
    std::snprintf(name, sizeof name, "UTF-8");
  } else {
    std::snprintf(name, sizeof name, "CP%u", static_cast<unsigned>(code_page));
  }
}

// Runs the conversion to its end. Every input byte gives at most two units
// (four bytes), except that a stateful converter may hold some back until
// the final flush; the buffer grows when it asks for more.
bool convert_all(iconv_t converter, const uint8_t* bytes, size_t size,
                 std::vector<char>* out) {
  out->resize(4 * size + 16);
  char* in = const_cast<char*>(reinterpret_cast<const char*>(bytes));
  size_t in_left = size;
  size_t used = 0;
  bool flushing = false;
  for (;;) {
    char* at = out->data() + used;
    size_t out_left = out->size() - used;
    size_t result = flushing
                        ? iconv(converter, nullptr, nullptr, &at, &out_left)
                        : iconv(converter, &in, &in_left, &at, &out_left);
    used = out->size() - out_left;
    if (result != static_cast<size_t>(-1)) {
      if (flushing) break;
      flushing = true;
      continue;
    }
    if (errno != E2BIG) return false;  // EILSEQ or EINVAL: not valid text
    out->resize(2 * out->size());
  }
  out->resize(used);
  return true;
}

}  // namespace

bool decode_code_page(uint32_t code_page, const uint8_t* bytes, size_t size,
                      std::u16string* text) {
  text->clear();
  if (size == 0) return true;
  char name[16];
  iconv_name(code_page, name);
  // Little-endian without a byte order mark, assembled below, so the host's
  // byte order never matters.
  iconv_t converter = iconv_open("UTF-16LE", name);
  if (converter == reinterpret_cast<iconv_t>(-1)) return false;
  std::vector<char> out;
  bool ok = convert_all(converter, bytes, size, &out);
  iconv_close(converter);
  if (!ok || out.size() % 2 != 0) return false;
  text->resize(out.size() / 2);
  for (size_t i = 0; i < text->size(); ++i) {
    auto low = static_cast<uint8_t>(out[2 * i]);
    auto high = static_cast<uint8_t>(out[2 * i + 1]);
    (*text)[i] = static_cast<char16_t>(low | (high << 8));
  }
  return true;
}

}  // namespace uitrans::platform
