// SPDX-License-Identifier: MIT
#include "support/dialog_template.h"

namespace testsupport {

DialogField ordinal_field(uint16_t value) {
  return DialogField{true, value, u""};
}

DialogField text_field(const std::u16string& text) {
  return DialogField{false, 0, text};
}

// --- Writing ---------------------------------------------------------------

namespace {

void put_field(Bytes& bytes, const DialogField& field) {
  if (field.ordinal) {
    append16(bytes, 0xFFFF);
    append16(bytes, field.value);
  } else {
    append_text(bytes, field.text);
    append16(bytes, 0);
  }
}

bool has_font(const DialogSpec& dialog) {
  return (dialog.style & kDsSetFont) != 0;
}

void put_header(Bytes& bytes, const DialogSpec& dialog) {
  const uint16_t count = dialog.declared_controls != 0xFFFF
                             ? dialog.declared_controls
                             : static_cast<uint16_t>(dialog.controls.size());
  if (dialog.extended) {
    append16(bytes, 1);       // dlgVer
    append16(bytes, 0xFFFF);  // signature
    append32(bytes, 0);       // helpID
    append32(bytes, 0);       // exStyle
    append32(bytes, dialog.style);
  } else {
    append32(bytes, dialog.style);
    append32(bytes, 0);  // dwExtendedStyle
  }
  append16(bytes, count);
  for (uint16_t v : dialog.rect) append16(bytes, v);
  put_field(bytes, dialog.menu);
  put_field(bytes, dialog.window_class);
  put_field(bytes, text_field(dialog.title));
  if (!has_font(dialog)) return;
  append16(bytes, dialog.point_size);
  if (dialog.point_size == 0x7FFF) return;
  if (dialog.extended) {
    append16(bytes, dialog.weight);
    bytes.push_back(dialog.italic);
    bytes.push_back(dialog.charset);
  }
  put_field(bytes, text_field(dialog.typeface));
}

void put_control(Bytes& bytes, bool extended, const DialogControl& control) {
  pad_to(bytes, 4);
  if (extended) {
    append32(bytes, 0);  // helpID
    append32(bytes, 0);  // exStyle
    append32(bytes, control.style);
  } else {
    append32(bytes, control.style);
    append32(bytes, 0);  // dwExtendedStyle
  }
  for (uint16_t v : control.rect) append16(bytes, v);
  if (extended) {
    append32(bytes, control.id);
  } else {
    append16(bytes, static_cast<uint16_t>(control.id));
  }
  put_field(bytes, control.window_class);
  put_field(bytes, control.title);
  append16(bytes, control.data_count);
  for (uint16_t unit : control.data) append16(bytes, unit);
}

}  // namespace

Bytes make_dialog(const DialogSpec& dialog) {
  Bytes bytes;
  put_header(bytes, dialog);
  for (const DialogControl& control : dialog.controls) {
    put_control(bytes, dialog.extended, control);
  }
  return bytes;
}

// --- Reading ---------------------------------------------------------------

namespace {

struct Reader {
  const uint8_t* bytes;
  size_t size;
  size_t pos = 0;
  std::string error;

  bool fail(const std::string& why) {
    error = why + " at byte " + std::to_string(pos);
    return false;
  }
  bool u16(uint16_t* out) {
    if (size - pos < 2) return fail("truncated");
    *out = static_cast<uint16_t>(bytes[pos] | (bytes[pos + 1] << 8));
    pos += 2;
    return true;
  }
  bool u32(uint32_t* out) {
    uint16_t low = 0;
    uint16_t high = 0;
    if (!u16(&low) || !u16(&high)) return false;
    *out = low | (uint32_t{high} << 16);
    return true;
  }
  bool rect(uint16_t (&out)[4]) {
    for (uint16_t& v : out) {
      if (!u16(&v)) return false;
    }
    return true;
  }
  bool skip(size_t units) {
    uint16_t unit = 0;
    for (size_t i = 0; i < units; ++i) {
      if (!u16(&unit)) return false;
    }
    return true;
  }
  bool string(std::u16string* out) {
    out->clear();
    for (uint16_t unit = 0;;) {
      if (!u16(&unit)) return false;
      if (unit == 0) return true;
      out->push_back(static_cast<char16_t>(unit));
    }
  }
  // 0xFFFF first means an ordinal follows.
  bool field(DialogField* out) {
    if (size - pos < 2) return fail("truncated field");
    *out = DialogField{};
    if ((bytes[pos] | (bytes[pos + 1] << 8)) != 0xFFFF) {
      return string(&out->text);
    }
    pos += 2;
    out->ordinal = true;
    return u16(&out->value);
  }
  bool align() {
    while (pos % 4 != 0) {
      uint16_t gap = 0;
      if (!u16(&gap)) return false;
      if (gap != 0) return fail("non-zero alignment gap");
    }
    return true;
  }
};

bool read_font(Reader& r, DialogSpec* dialog) {
  if (!r.u16(&dialog->point_size)) return false;
  if (dialog->point_size == 0x7FFF) return true;
  uint16_t italic_and_charset = 0;
  if (dialog->extended &&
      (!r.u16(&dialog->weight) || !r.u16(&italic_and_charset))) {
    return false;
  }
  dialog->italic = static_cast<uint8_t>(italic_and_charset);
  dialog->charset = static_cast<uint8_t>(italic_and_charset >> 8);
  if (!dialog->extended) dialog->charset = DialogSpec{}.charset;
  return r.string(&dialog->typeface);
}

bool read_header(Reader& r, DialogSpec* dialog, uint16_t* count) {
  const bool header_read = dialog->extended
                               ? r.skip(4) && r.skip(2) && r.u32(&dialog->style)
                               : r.u32(&dialog->style) && r.skip(2);
  if (!header_read || !r.u16(count) || !r.rect(dialog->rect) ||
      !r.field(&dialog->menu) || !r.field(&dialog->window_class) ||
      !r.string(&dialog->title)) {
    return false;
  }
  return (dialog->style & kDsSetFont) == 0 || read_font(r, dialog);
}

bool read_control(Reader& r, bool extended, DialogControl* control) {
  uint16_t id = 0;
  const bool start_read =
      r.align() && (extended ? r.skip(4) && r.u32(&control->style)
                             : r.u32(&control->style) && r.skip(2));
  if (!start_read || !r.rect(control->rect)) return false;
  if (extended ? !r.u32(&control->id) : !r.u16(&id)) return false;
  if (!extended) control->id = id;
  if (!r.field(&control->window_class) || !r.field(&control->title) ||
      !r.u16(&control->data_count)) {
    return false;
  }
  // A classic count includes the count unit itself.
  const size_t w = control->data_count;
  const size_t data_bytes = extended ? w : (w > 2 ? w - 2 : 0);
  control->data.resize((data_bytes + 1) / 2);
  for (uint16_t& unit : control->data) {
    if (!r.u16(&unit)) return false;
  }
  return true;
}

}  // namespace

bool read_dialog(const uint8_t* bytes, size_t size, DialogSpec* dialog,
                 std::string* error) {
  Reader r{bytes, size, 0, {}};
  *dialog = DialogSpec{};
  dialog->extended = size >= 4 && bytes[2] == 0xFF && bytes[3] == 0xFF;
  uint16_t count = 0;
  bool ok = read_header(r, dialog, &count);
  // Fewer controls than declared when the template ends before them.
  for (uint16_t m = 0; ok && m < count && r.pos < size; ++m) {
    dialog->controls.emplace_back();
    ok = read_control(r, dialog->extended, &dialog->controls.back());
  }
  if (ok && r.pos != size) r.fail("bytes left over");
  *error = r.error;
  return r.error.empty();
}

}  // namespace testsupport
