// SPDX-License-Identifier: MIT
#include "driver/extract_command.h"

#include <algorithm>
#include <ctime>
#include <unordered_map>

#include "driver/messages.h"
#include "driver/pipeline.h"
#include "driver/recovery.h"
#include "driver/text_output.h"
#include "image/image_file.h"
#include "image/image_info.h"
#include "replace/po_writer.h"
#include "replace/pseudo.h"
#include "resources/extract.h"
#include "uitrans_version.h"

namespace uitrans {

namespace {

using platform::NativeString;

struct Collection {
  ContextLevel contexts = ContextLevel::none;
  std::vector<ExtractedText> texts;
  // By text, and by the context its level gives (UTF-8, NUL-separated).
  std::unordered_map<std::u16string, size_t> index;
};

// The first `levels` labels of a record's resource, and with `place` its
// place name, joined by slashes: a context, or with the executable in front
// a reference.
std::string place_of(ByteSpan image, const ImageInfo& info,
                     const TextRecord& record, uint32_t levels, bool place) {
  std::string name;
  for (uint32_t level = 1; level <= levels; ++level) {
    if (level > 1) name += "/";
    name += resource_label(image, info.resource_raw_pointer,
                           record.path[level - 1], level);
  }
  if (place) name += "/" + record.place_name;
  return name;
}

std::string context_of(ContextLevel level, ByteSpan image,
                       const ImageInfo& info, const TextRecord& record) {
  switch (level) {
    case ContextLevel::type:
      return place_of(image, info, record, 1, false);
    case ContextLevel::resource:
      return place_of(image, info, record, kPathLevels, false);
    case ContextLevel::place:
      return place_of(image, info, record, kPathLevels, true);
    case ContextLevel::none:
      break;
  }
  return "";
}

// A key of the index: the text's units, then (with contexts) a zero unit
// and the context's bytes one to a unit.
std::u16string index_key(const std::u16string& text, const std::string& context,
                         bool with_context) {
  std::u16string key = text;
  if (!with_context) return key;
  key.push_back(0);
  for (char c : context) key.push_back(static_cast<uint8_t>(c));
  return key;
}

void collect(Collection* collection, const std::string& executable,
             ByteSpan image, const ImageInfo& info,
             const std::vector<TextRecord>& records) {
  bool with_context = collection->contexts != ContextLevel::none;
  for (const TextRecord& record : records) {
    std::string context = context_of(collection->contexts, image, info, record);
    auto [at, fresh] = collection->index.emplace(
        index_key(record.before, context, with_context),
        collection->texts.size());
    if (fresh) {
      collection->texts.push_back(ExtractedText{record.before,
                                                place_kind(record),
                                                {},
                                                with_context,
                                                context,
                                                record.place,
                                                {}});
    }
    std::vector<std::string>& references =
        collection->texts[at->second].references;
    std::string reference =
        executable + ":" + place_of(image, info, record, kPathLevels, false);
    if (std::find(references.begin(), references.end(), reference) ==
        references.end()) {
      references.push_back(reference);
    }
  }
}

// Lists one executable into the collection; false when it could not be
// read (its message printed).
bool extract_one(const NativeString& name, const KindSelection& kinds,
                 Collection* collection) {
  ListedImage listed;
  if (!list_image(name, kinds, &listed)) return false;
  collect(collection, platform::native_to_utf8(name), listed.image.span(),
          listed.info, listed.records);
  return true;
}

bool fits_a_line(const std::u16string& text) {
  if (text.size() < 2) return false;
  for (char16_t u : text) {
    if (u == u'\r' || u == u'\n') return false;
  }
  return true;
}

void append_line(std::string* out, const std::u16string& text) {
  for (char16_t u : text) {
    out->push_back(static_cast<char>(u & 0xFF));
    out->push_back(static_cast<char>(u >> 8));
  }
  out->append("\r\0\n\0", 4);
}

bool write_template(const Options& options, const std::string& bytes) {
  if (options.has_output) {
    return platform::write_whole_file(options.output_path, bytes);
  }
  return platform::write_standard_output(bytes.data(), bytes.size());
}

void report_left_out(size_t count, const char* why) {
  if (count == 0) return;
  std::string line = "uitrans: " + std::to_string(count) +
                     (count == 1 ? " text" : " texts") + " left out (" + why +
                     ")\n";
  platform::print_error_text(line.data(), line.size());
}

// The template's project: the first executable's file name.
std::string project_name(const NativeString& executable) {
  std::string name = platform::native_to_utf8(executable);
  size_t slash = name.find_last_of("/\\");
  return slash == std::string::npos ? name : name.substr(slash + 1);
}

}  // namespace

bool list_image(const NativeString& name, const KindSelection& kinds,
                ListedImage* listed) {
  Outcome loaded = load_and_validate(name, &listed->image, &listed->info);
  print_outcome(loaded, name);
  // An image without a resource section was read, and holds no texts.
  if (loaded.message == Message::no_resource_section) return true;
  if (!loaded.ok()) return false;
  Outcome texts = extract_texts(listed->image.span(), listed->info, kinds,
                                &listed->records);
  print_outcome(texts, name);
  return texts.ok();
}

std::string list_template(const std::vector<ExtractedText>& texts,
                          size_t* left_out) {
  std::string out("\xFF\xFE", 2);
  for (const ExtractedText& text : texts) {
    if (!fits_a_line(text.text)) {
      *left_out += 1;
      continue;
    }
    append_line(&out, text.text);
    append_line(&out, text.translation.empty() ? text.text : text.translation);
    append_line(&out, u"");
  }
  return out;
}

std::string gettext_template(const std::vector<ExtractedText>& texts,
                             const std::string& project, size_t* too_short,
                             size_t* unwritable) {
  std::vector<PotEntry> entries;
  for (const ExtractedText& text : texts) {
    if (text.text.size() < 2) {
      *too_short += 1;
      continue;
    }
    entries.push_back(PotEntry{text.text, text.kind, text.references,
                               text.has_context, text.context,
                               text.translation});
  }
  std::time_t now = std::time(nullptr);
  const std::tm* utc = std::gmtime(&now);
  PotHeader header{project, utc != nullptr ? pot_date(*utc) : "",
                   UITRANS_VERSION};
  uint32_t lone_surrogates = 0;
  std::string bytes = write_pot(header, entries, &lone_surrogates);
  *unwritable += lone_surrogates;
  return bytes;
}

namespace {

// A typeface names an installed font: it is never translated.
void fill_pseudo_translations(std::vector<ExtractedText>* texts) {
  for (ExtractedText& text : *texts) {
    text.translation =
        text.place == TextPlace::typeface
            ? text.text
            : pseudo_translation(text.text, text.place == TextPlace::menu_item);
  }
}

}  // namespace

int run_extract(const Options& options) {
  send_messages_to_standard_error();
  if (options.executables.empty()) {
    static const char kUsage[] =
        "uitrans: --extract needs at least one executable\n";
    platform::print_error_text(kUsage, sizeof kUsage - 1);
    return kExitUsage;
  }
  Collection collection;
  collection.contexts = options.contexts;
  bool all_read = true;
  if (options.has_translations_from) {
    all_read = recover_translations(options, &collection.texts);
  }
  for (size_t i = 0;
       !options.has_translations_from && i < options.executables.size(); ++i) {
    all_read =
        extract_one(options.executables[i], options.kinds, &collection) &&
        all_read;
  }
  if (options.pseudo) fill_pseudo_translations(&collection.texts);
  size_t left_out = 0;
  std::string bytes;
  if (options.po) {
    size_t unwritable = 0;
    bytes =
        gettext_template(collection.texts, project_name(options.executables[0]),
                         &left_out, &unwritable);
    report_left_out(left_out, "fewer than two characters");
    report_left_out(unwritable, "not valid UTF-16");
  } else {
    bytes = list_template(collection.texts, &left_out);
    report_left_out(left_out, "line breaks, or fewer than two characters");
  }
  if (!write_template(options, bytes)) {
    static const char kFailed[] = "uitrans: could not write the template\n";
    platform::print_error_text(kFailed, sizeof kFailed - 1);
    return kExitExtractFailed;
  }
  return all_read ? kExitOk : kExitExtractFailed;
}

}  // namespace uitrans
