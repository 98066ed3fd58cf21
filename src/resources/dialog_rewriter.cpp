// SPDX-License-Identifier: MIT
// Rewriting dialog templates on the dialog reader: kept fields are copied,
// titles and the typeface are replaced when the whole text is a find text,
// creation data is scanned unit by unit, and counts and alignment are kept
// consistent with the new lengths.
#include <algorithm>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>

#include "resources/dialog_fit.h"
#include "resources/item_writer.h"
#include "resources/templates.h"
#include "resources/text_record.h"

namespace uitrans {

namespace {

// What the records of a dialog's texts need from the whole template: its
// font, its own geometry, and which control ids name one control alone.
struct DialogSurvey {
  DialogFont font;
  DialogGeometry geometry;
  std::unordered_map<uint32_t, uint32_t> id_count;
};

// Ids that untouched controls share (static texts take 65535, or -1 in
// extended templates) never name a place.
bool may_name_a_place(uint32_t id) {
  return id != 0 && id != 0xFFFF && id != 0xFFFFFFFF;
}

DialogSurvey survey_dialog(UnitView units, uint32_t item_size) {
  DialogSurvey survey;
  DialogReader reader;
  DialogField field;
  bool read = start_dialog(&reader, units, item_size);
  survey.geometry = reader.dialog_geometry;
  while (read && next_dialog_field(&reader, &field)) {
    if (field.part == DialogPart::typeface) {
      survey.font.system_font = false;
      survey.font.point_size = reader.font.point_size;
      survey.font.weight = reader.font.weight;
      survey.font.italic = reader.font.italic != 0;
      survey.font.typeface = units_text(units, field.start, field.units - 1);
    } else if (field.part == DialogPart::control_class) {
      survey.id_count[field.control_id] += 1;
    }
  }
  return survey;
}

// "control 1001", or "control #3" by its number.
std::string control_place(const DialogSurvey& survey,
                          const DialogField& field) {
  auto count = survey.id_count.find(field.control_id);
  bool unique = may_name_a_place(field.control_id) &&
                count != survey.id_count.end() && count->second == 1;
  return numbered_place("control", field.control_id, unique, field.control);
}

std::string place_name(const DialogSurvey& survey, const DialogField& field) {
  switch (field.part) {
    case DialogPart::title:
      return "title";
    case DialogPart::typeface:
      return "typeface";
    case DialogPart::creation_data:
      return "creation data of " + control_place(survey, field);
    default:
      return control_place(survey, field);
  }
}

// A record of the text at [start, start + length) of a dialog field, read
// by `reader`.
TextRecord field_record(const ItemSource& item, UnitView units,
                        const DialogSurvey& survey, const DialogReader& reader,
                        const DialogField& field, size_t start, size_t length) {
  TextRecord record =
      make_record(item.path, place_of(field), place_name(survey, field),
                  units_text(units, start, length));
  bool of_control = field.part == DialogPart::control_title ||
                    field.part == DialogPart::creation_data;
  record.class_ordinal = field.class_ordinal;
  record.class_name = units_text(units, field.class_start, field.class_length);
  record.geometry = of_control ? reader.control_geometry : survey.geometry;
  record.font = survey.font;
  return record;
}

struct DialogRewrite {
  UnitView units;  // from the item's start to the end of the image
  ItemWriter writer;
  const ReplacementTable* table = nullptr;
  int32_t* replaced_count = nullptr;
  const ItemContext* item = nullptr;
  // Only with a log, contexts or --fit: a rewrite alone never builds one.
  std::optional<DialogSurvey> survey;
  const DialogReader* reader = nullptr;
  // The dialog's controls and where they land in the output, only with a
  // log or --fit.
  DialogLayout* layout = nullptr;
};

// A hit in creation data applies where its control is.
struct CreationDataPlace {
  const DialogRewrite* rw = nullptr;
  const DialogField* field = nullptr;
};

uint32_t resolve_in_creation_data(const void* state, size_t, uint32_t entry) {
  const auto* at = static_cast<const CreationDataPlace*>(state);
  return resolve_at_place(*at->rw->item, entry,
                          place_name(*at->rw->survey, *at->field));
}

// Records a text looked up at `start` (of `length` units) for the report.
void log_text(DialogRewrite* rw, const DialogField& field, size_t start,
              size_t length, uint32_t hit) {
  RewriteLog* log = rw->item->log;
  if (log == nullptr) return;
  TextRecord record = field_record(rw->item->item, rw->units, *rw->survey,
                                   *rw->reader, field, start, length);
  if (hit != kNoEntry) mark_replaced(&record, *rw->table, hit, log);
  log->records.push_back(std::move(record));
}

// Notes a title text and what is written for it in the layout.
void note_title(DialogRewrite* rw, const DialogField& field, uint32_t hit) {
  std::u16string before = units_text(rw->units, field.start, field.units - 1);
  std::u16string after = before;
  if (hit != kNoEntry) {
    const ReplacementEntry& entry = rw->table->entries[hit];
    after.assign(entry.replacement, entry.replacement_length);
  }
  DialogLayout* layout = rw->layout;
  if (field.part == DialogPart::title) {
    layout->title_before = std::move(before);
    layout->title_after = std::move(after);
  } else if (field.part == DialogPart::control_title &&
             !layout->controls.empty()) {
    DialogControl& control = layout->controls.back();
    control.has_text = true;
    control.before = std::move(before);
    control.after = std::move(after);
    control.replaced = hit != kNoEntry;
  }
}

// Notes a control as its fixed part is about to be written, and its class.
void note_control(DialogRewrite* rw, const DialogField& field) {
  DialogLayout* layout = rw->layout;
  if (field.part == DialogPart::fixed && field.control != 0) {
    DialogControl control;
    control.place_name = control_place(*rw->survey, field);
    control.geometry = rw->reader->control_geometry;
    control.source = rw->reader->control_geometry;
    control.output_unit = rw->writer.position;
    layout->controls.push_back(std::move(control));
  } else if (field.part == DialogPart::control_class &&
             !layout->controls.empty()) {
    DialogControl& control = layout->controls.back();
    control.class_ordinal = field.class_ordinal;
    control.class_name =
        units_text(rw->units, field.class_start, field.class_length);
  }
}

// With --fit, writes the new x and cx of each control widened for its
// text over the copies of their fixed parts; nothing else changes.
void apply_widenings(DialogRewrite* rw, bool extended) {
  std::vector<Widening> widenings = widen_controls(rw->layout);
  uint8_t* item = rw->writer.output->data + rw->writer.output->used;
  size_t rect = control_rect_unit(extended);
  for (const Widening& widening : widenings) {
    size_t at = rw->layout->controls[widening.control].output_unit + rect;
    store_u16(item + 2 * at, static_cast<uint16_t>(widening.to.x));
    store_u16(item + 2 * (at + 2), static_cast<uint16_t>(widening.to.cx));
  }
}

bool copy_field(DialogRewrite* rw, const DialogField& field) {
  return put_units(&rw->writer, rw->units, field.start, field.units);
}

// A text replaced when the whole text equals a find text.
bool rewrite_text(DialogRewrite* rw, const DialogField& field) {
  uint32_t hit = find_replacement(*rw->table, rw->units, field.start);
  if (rw->item->place != nullptr && hit != kNoEntry) {
    hit = resolve_at_place(*rw->item, hit, place_name(*rw->survey, field));
  }
  log_text(rw, field, field.start, field.units - 1, hit);
  if (rw->layout != nullptr) note_title(rw, field, hit);
  if (hit == kNoEntry) return copy_field(rw, field);
  return put_replacement(&rw->writer, rw->table->entries[hit],
                         rw->replaced_count);
}

// The creation data of a control: its count unit, then the data, scanned
// at every unit for find texts that lie wholly inside it. The count is
// recomputed for the new length (16-bit arithmetic, as the field is).
bool rewrite_creation_data(DialogRewrite* rw, const DialogField& field,
                           bool extended) {
  size_t count_position = rw->writer.position;
  if (!skip_unit(&rw->writer)) return false;
  uint16_t count = field.creation_count;
  uint16_t new_count = count;
  if (field.data_units > 0) {
    new_count = extended ? 0 : 2;
    size_t source = field.start + 1;
    size_t remaining = field.data_units;
    TextScanner scanner;
    start_scan(&scanner, rw->units, source + remaining);
    size_t data_end = source + remaining;
    size_t copied = source;
    size_t at = 0;
    uint32_t hit = kNoEntry;
    CreationDataPlace here{rw, &field};
    HitFilter by_place{resolve_in_creation_data, &here};
    const HitFilter* filter = rw->item->place != nullptr ? &by_place : nullptr;
    while (source < data_end && scan_next_hit(*rw->table, &scanner, source,
                                              data_end, &at, &hit, filter)) {
      const ReplacementEntry& entry = rw->table->entries[hit];
      log_text(rw, field, at, entry.find_length, hit);
      new_count = static_cast<uint16_t>(new_count + 2 * (at - source));
      if (!put_units(&rw->writer, rw->units, copied, at - copied) ||
          !put_replacement(&rw->writer, entry, rw->replaced_count)) {
        return false;
      }
      source = at + size_t{entry.find_length} + 1;
      copied = source;
      new_count =
          static_cast<uint16_t>(new_count + 2 * entry.replacement_length + 2);
    }
    new_count = static_cast<uint16_t>(new_count + 2 * (data_end - source));
    if (!put_units(&rw->writer, rw->units, copied, data_end - copied)) {
      return false;
    }
    if ((count & 1) != 0) new_count = static_cast<uint16_t>(new_count - 1);
  }
  store_u16(
      rw->writer.output->data + rw->writer.output->used + 2 * count_position,
      new_count);
  return true;
}

bool rewrite_field(DialogRewrite* rw, const DialogField& field, bool extended) {
  if (field.part == DialogPart::align) {
    return (rw->writer.position & 1) == 0 || skip_unit(&rw->writer);
  }
  if (field.part == DialogPart::creation_data) {
    return rewrite_creation_data(rw, field, extended);
  }
  if (is_looked_up(field)) return rewrite_text(rw, field);
  return copy_field(rw, field);
}

}  // namespace

Outcome rewrite_dialog(const ItemContext& item, uint32_t* new_size) {
  DialogRewrite rw;
  rw.units = units_from(item.item.image, item.item.offset);
  rw.writer = ItemWriter{item.output, 0};
  rw.table = item.table;
  rw.replaced_count = item.replaced_count;
  rw.item = &item;
  // Built only with a log or --fit: a plain rewrite makes none.
  std::optional<DialogLayout> layout;
  if (item.log != nullptr || item.fit) rw.layout = &layout.emplace();
  if (item.log != nullptr || item.place != nullptr || rw.layout != nullptr) {
    rw.survey = survey_dialog(rw.units, item.item.size);
  }
  int32_t replaced_before = *item.replaced_count;

  DialogReader reader;
  DialogField field;
  bool read = start_dialog(&reader, rw.units, item.item.size);
  reader.with_geometry = rw.layout != nullptr;
  rw.reader = &reader;
  while (read && next_dialog_field(&reader, &field)) {
    if (rw.layout != nullptr) note_control(&rw, field);
    if (!rewrite_field(&rw, field, reader.extended)) {
      return writer_failure(rw.writer);
    }
  }
  if (reader.reason != InvalidReason::none) return refused(reader.reason);
  if (rw.layout != nullptr) {
    std::copy(item.item.path, item.item.path + kPathLevels, layout->path);
    layout->geometry = rw.survey->geometry;
    layout->font = rw.survey->font;
    layout->changed = *item.replaced_count != replaced_before;
    if (item.fit) apply_widenings(&rw, reader.extended);
    if (item.log != nullptr) item.log->dialogs.push_back(std::move(*layout));
  }
  uint64_t bytes = 2 * uint64_t{rw.writer.position};
  if (bytes > UINT32_MAX) return size_overflow();
  *new_size = static_cast<uint32_t>(bytes);
  return Outcome{};
}

Outcome extract_dialog(const ItemSource& item,
                       std::vector<TextRecord>* records) {
  UnitView units = units_from(item.image, item.offset);
  DialogSurvey survey = survey_dialog(units, item.size);
  DialogReader reader;
  DialogField field;
  bool read = start_dialog(&reader, units, item.size);
  reader.with_geometry = true;
  while (read && next_dialog_field(&reader, &field)) {
    if (!is_looked_up(field)) continue;
    records->push_back(field_record(item, units, survey, reader, field,
                                    field.start, field.units - 1));
  }
  return reader.reason == InvalidReason::none ? Outcome{}
                                              : refused(reader.reason);
}

}  // namespace uitrans
