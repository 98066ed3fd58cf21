// SPDX-License-Identifier: MIT
// A place is the same in both files when its resource type, name and place
// name are: the language may differ. A text translated one way everywhere
// becomes one entry; one translated several ways (or left as it is in some
// places) becomes one entry per way, each with the shortest leading part of
// its places' full names that no place of another way shares, so that the
// most specific entry applies at each place and the catalogue gives back
// the translated copy's texts.
#include "driver/recovery.h"

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <utility>

#include "driver/messages.h"
#include "driver/pipeline.h"
#include "driver/text_output.h"
#include "resources/extract.h"
#include "resources/resource_labels.h"

namespace uitrans {

namespace {

using platform::NativeString;

// One text at one place, with the labels of its place.
struct PlacedText {
  std::string file;      // the executable, as given
  std::string parts[4];  // type, name, language, place name
  std::u16string text;
  std::string kind;  // for the template's comment
  TextPlace place = TextPlace::menu_item;
  std::u16string translation;
  bool translated = false;
};

std::string resource_key(const PlacedText& place) {
  return place.parts[0] + "/" + place.parts[1] + "/" + place.parts[2];
}

// The texts of one file in walk order; false when it could not be read.
bool read_places(const NativeString& name, const KindSelection& kinds,
                 std::vector<PlacedText>* places) {
  ListedImage listed;
  if (!list_image(name, kinds, &listed)) return false;
  std::string file = platform::native_to_utf8(name);
  for (const TextRecord& record : listed.records) {
    ResourceLabels labels = resource_labels(
        listed.image.span(), listed.info.resource_raw_pointer, record.path);
    places->push_back(PlacedText{
        file,
        {labels.type, labels.name, labels.language, record.place_name},
        record.before,
        place_kind(record),
        record.place,
        {},
        false});
  }
  return true;
}

// The translated copy, by resource (type and name) and language: its place
// names in order and its texts by place name.
struct Resource {
  std::vector<std::string> place_names;
  std::map<std::string, std::u16string> texts;
};
using Copy = std::map<std::pair<std::string, std::string>,
                      std::map<std::string, Resource>>;

Copy copy_of(const std::vector<PlacedText>& places) {
  Copy copy;
  for (const PlacedText& place : places) {
    Resource& resource = copy[{place.parts[0], place.parts[1]}][place.parts[2]];
    resource.place_names.push_back(place.parts[3]);
    resource.texts.emplace(place.parts[3], place.text);
  }
  return copy;
}

// Fills in the translations of `places` from `copy` in `language` (empty:
// the only language the copy has for the resource, else the source's).
// Resources whose place names differ are left untranslated and counted.
void translate_places(const Copy& copy, const std::string& language,
                      std::vector<PlacedText>* places) {
  std::map<std::string, Resource> sources;
  for (const PlacedText& place : *places) {
    sources[resource_key(place)].place_names.push_back(place.parts[3]);
  }
  std::set<std::string> mismatched;
  for (PlacedText& place : *places) {
    auto resource = copy.find({place.parts[0], place.parts[1]});
    if (resource == copy.end()) continue;
    const std::map<std::string, Resource>& languages = resource->second;
    // Without a language asked for: the only one the copy has, else the
    // source's own.
    auto chosen = !language.empty()       ? languages.find(language)
                  : languages.size() == 1 ? languages.begin()
                                          : languages.find(place.parts[2]);
    if (chosen == languages.end()) continue;
    if (chosen->second.place_names !=
        sources[resource_key(place)].place_names) {
      mismatched.insert(resource_key(place));
      continue;
    }
    auto text = chosen->second.texts.find(place.parts[3]);
    if (text == chosen->second.texts.end() || text->second == place.text) {
      continue;
    }
    place.translation = text->second;
    place.translated = true;
  }
  for (const std::string& key : mismatched) {
    std::string line = "uitrans: " + key +
                       ": its places differ in the translated copy; left "
                       "untranslated\n";
    platform::print_error_text(line.data(), line.size());
  }
}

// The leading part of `levels` parts of a place's full name, a file in
// front past the fourth.
std::string prefix_of(const PlacedText& place, uint32_t levels) {
  std::string name;
  for (uint32_t i = 0; i < levels && i < 4; ++i) {
    if (i > 0) name += "/";
    name += place.parts[i];
  }
  return levels > 4 ? place.file + ":" + name : name;
}

// The fewest levels that tell `place` from every place of `others`.
uint32_t separating_levels(const PlacedText& place,
                           const std::vector<const PlacedText*>& others,
                           uint32_t fewest) {
  for (uint32_t levels = fewest; levels < 5; ++levels) {
    bool shared = false;
    for (const PlacedText* other : others) {
      shared = shared || prefix_of(*other, levels) == prefix_of(place, levels);
    }
    if (!shared) return levels;
  }
  return 5;
}

uint32_t level_count(ContextLevel level) {
  switch (level) {
    case ContextLevel::type:
      return 1;
    case ContextLevel::resource:
      return 3;
    case ContextLevel::place:
      return 4;
    case ContextLevel::none:
      break;
  }
  return 0;
}

// The entries of one source text: one per way it is translated, and per
// context that way needs.
void add_entries(const std::vector<const PlacedText*>& places, uint32_t fewest,
                 std::vector<ExtractedText>* texts) {
  std::map<std::pair<bool, std::u16string>, size_t> entry_of;
  for (const PlacedText* place : places) {
    std::vector<const PlacedText*> others;
    for (const PlacedText* other : places) {
      if (other->translated != place->translated ||
          other->translation != place->translation) {
        others.push_back(other);
      }
    }
    uint32_t levels = separating_levels(*place, others, fewest);
    std::string context = levels == 0 ? "" : prefix_of(*place, levels);
    auto [at, fresh] = entry_of.emplace(
        std::make_pair(place->translated,
                       place->translation + u'\0' +
                           std::u16string(context.begin(), context.end())),
        texts->size());
    if (fresh) {
      texts->push_back(ExtractedText{place->text,
                                     place->kind,
                                     {},
                                     levels > 0,
                                     context,
                                     place->place,
                                     place->translation});
    }
    std::vector<std::string>& references = texts->at(at->second).references;
    std::string reference = place->file + ":" + prefix_of(*place, 3);
    if (std::find(references.begin(), references.end(), reference) ==
        references.end()) {
      references.push_back(reference);
    }
  }
}

}  // namespace

bool recover_translations(const Options& options,
                          std::vector<ExtractedText>* texts) {
  std::vector<PlacedText> places;
  bool all_read = true;
  for (const NativeString& name : options.executables) {
    all_read = read_places(name, options.kinds, &places) && all_read;
  }
  // The copy is read in every language: --language names the source's.
  KindSelection copy_kinds = options.kinds;
  copy_kinds.languages.clear();
  std::vector<PlacedText> translated;
  if (!read_places(options.translations_from, copy_kinds, &translated)) {
    return false;
  }
  translate_places(copy_of(translated), options.translations_language, &places);
  // Source texts in order of first appearance, each with its places.
  std::vector<std::u16string> order;
  std::map<std::u16string, std::vector<const PlacedText*>> by_text;
  for (const PlacedText& place : places) {
    auto& list = by_text[place.text];
    if (list.empty()) order.push_back(place.text);
    list.push_back(&place);
  }
  for (const std::u16string& text : order) {
    add_entries(by_text[text], level_count(options.contexts), texts);
  }
  return all_read;
}

}  // namespace uitrans
