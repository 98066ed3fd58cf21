// SPDX-License-Identifier: MIT
#include "driver/options.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <iterator>
#include <type_traits>
#include <utility>

#include "driver/language_tags.h"

namespace uitrans {

namespace {

using platform::NativeString;

NativeString native(const char* text) {
  NativeString out;
  for (; *text != 0; ++text)
    out.push_back(static_cast<platform::NativeChar>(*text));
  return out;
}

bool starts_long_option(const NativeString& argument) {
  return argument.size() > 2 && argument[0] == '-' && argument[1] == '-';
}

// The option's name as ASCII ("?" for anything else), for messages.
std::string ascii(const NativeString& text) {
  std::string out;
  for (platform::NativeChar c : text) {
    out.push_back(c > 0x20 && c < 0x7F ? static_cast<char>(c) : '?');
  }
  return out;
}

struct Flag {
  const char* name;
  bool Options::*field;
};

constexpr Flag kFlags[] = {
    {"--help", &Options::help},       {"--version", &Options::version},
    {"--extract", &Options::extract}, {"--po", &Options::po},
    {"--dry-run", &Options::dry_run}, {"--check", &Options::check},
    {"--pseudo", &Options::pseudo},   {"--fit", &Options::fit},
};

struct Valued {
  const char* name;
  bool Options::*present;
  NativeString Options::*value;
};

constexpr Valued kValued[] = {
    {"--report", &Options::has_report, &Options::report_path},
    {"--output", &Options::has_output, &Options::output_path},
    {"--contexts", &Options::has_contexts, &Options::contexts_value},
    {"--translations-from", &Options::has_translations_from,
     &Options::translations_from},
    {"--translations-language", &Options::has_translations_language,
     &Options::translations_language_value},
    {"--language", &Options::has_language, &Options::language_value},
    {"--add-language", &Options::has_add_language,
     &Options::add_language_value},
    {"--preview", &Options::has_preview, &Options::preview_path},
};

// A language as labels show it: four upper-case hexadecimal digits.
bool read_language_label(const NativeString& value, std::string* label) {
  std::string text;
  for (platform::NativeChar c : value) {
    if (c < 0x20 || c > 0x7E) return false;
    text.push_back(static_cast<char>(c));
  }
  uint16_t id = 0;
  if (!read_language(text, &id)) return false;
  char digits[8];
  std::snprintf(digits, sizeof digits, "%04X", id);
  *label = digits;
  return true;
}

// --contexts=none|type|resource|place.
bool read_context_level(const NativeString& value, ContextLevel* level) {
  static const struct {
    const char* name;
    ContextLevel level;
  } kLevels[] = {{"none", ContextLevel::none},
                 {"type", ContextLevel::type},
                 {"resource", ContextLevel::resource},
                 {"place", ContextLevel::place}};
  for (const auto& known : kLevels) {
    if (value != native(known.name)) continue;
    *level = known.level;
    return true;
  }
  return false;
}

// Sets the switch called `name`: a flag, the switch of a kind of resource
// beyond menus and dialogs, or --all-texts for every kind. False when no
// switch has that name.
bool set_switch(const NativeString& name, Options* options) {
  for (const Flag& flag : kFlags) {
    if (name != native(flag.name)) continue;
    options->*flag.field = true;
    return true;
  }
  bool all = name == native("--all-texts");
  bool found = all;
  for (const ResourceKind& kind : resource_kinds()) {
    if (kind.option == nullptr || (!all && name != native(kind.option))) {
      continue;
    }
    options->kinds.*kind.enabled = true;
    found = true;
  }
  return found;
}

// One long option at arguments[*index]; a value may follow as "=value" or
// as the next argument.
bool take_option(const std::vector<NativeString>& arguments, size_t* index,
                 Options* options, std::string* error) {
  const NativeString& argument = arguments[*index];
  size_t equals = argument.find('=');
  NativeString name = argument.substr(0, equals);
  for (const Valued& valued : kValued) {
    if (name != native(valued.name)) continue;
    NativeString value;
    if (equals != NativeString::npos) {
      value = argument.substr(equals + 1);
    } else if (*index + 1 < arguments.size()) {
      value = arguments[++*index];
    } else {
      *error = "option " + ascii(name) + " needs a value";
      return false;
    }
    // Languages given again add to those given before; any other value
    // given again replaces the one before, as it always did.
    NativeString& field = options->*valued.value;
    bool adds =
        valued.value == &Options::language_value && options->*valued.present;
    field = adds ? field + native(",") + value : value;
    options->*valued.present = true;
    return true;
  }
  if (equals == NativeString::npos && set_switch(name, options)) return true;
  Options ignored;
  *error = set_switch(name, &ignored)
               ? "option " + ascii(name) + " takes no value"
               : "unknown option " + ascii(name);
  return false;
}

bool is_switch(const NativeString& argument) {
  return argument.size() == 2 && argument[0] == '-' &&
         (argument[1] == 's' || argument[1] == 'S');
}

// [-s] LIST EXE... for a translation, EXE... for an extraction. The counts
// are checked as they always were: two operands first, and only then is the
// first compared with -s, which needs three.
void name_operands(std::vector<NativeString> operands, Options* options) {
  if (options->extract) {
    options->executables = std::move(operands);
    return;
  }
  if (operands.size() < 2) {
    options->too_few_operands = true;
    return;
  }
  options->has_switch = is_switch(operands[0]);
  size_t list_index = options->has_switch ? 1 : 0;
  if (operands.size() < list_index + 2) {
    options->too_few_operands = true;
    return;
  }
  options->list_path = std::move(operands[list_index]);
  options->executables.assign(
      std::make_move_iterator(operands.begin() +
                              static_cast<std::ptrdiff_t>(list_index + 1)),
      std::make_move_iterator(operands.end()));
}

bool check_combination(const Options& options, std::string* error) {
  if (options.extract && (options.dry_run || options.has_report)) {
    *error = "--dry-run and --report belong to translation runs";
    return false;
  }
  if (options.extract && (options.fit || options.has_preview)) {
    *error = "--fit and --preview belong to translation runs";
    return false;
  }
  if (!options.extract && (options.po || options.has_output)) {
    *error = "--po and --output belong to --extract";
    return false;
  }
  if ((options.has_contexts || options.has_translations_from) &&
      !(options.extract && options.po)) {
    *error = "--contexts and --translations-from belong to --extract --po";
    return false;
  }
  if (options.has_translations_language && !options.has_translations_from) {
    *error = "--translations-language needs --translations-from";
    return false;
  }
  if (options.extract && options.has_add_language) {
    *error = "--add-language belongs to translation runs";
    return false;
  }
  if (options.extract && options.check) {
    *error = "--check belongs to translation runs";
    return false;
  }
  if (!options.extract && options.pseudo) {
    *error = "--pseudo belongs to --extract";
    return false;
  }
  return true;
}

// The text of a language option, when it is ASCII (every language name is).
bool ascii_text(const NativeString& value, std::string* text) {
  for (platform::NativeChar c : value) {
    if (static_cast<std::make_unsigned_t<platform::NativeChar>>(c) >= 0x80) {
      return false;
    }
    text->push_back(static_cast<char>(c));
  }
  return true;
}

bool read_languages(Options* options, std::string* error) {
  std::string text;
  std::string unknown;
  if (options->has_language &&
      (!ascii_text(options->language_value, &text) ||
       !read_language_list(text, &options->kinds.languages, &unknown))) {
    *error = "unknown language " +
             (unknown.empty() ? ascii(options->language_value) : unknown);
    return false;
  }
  if (!options->has_add_language) return true;
  text.clear();
  if (!ascii_text(options->add_language_value, &text) ||
      !read_language(text, &options->added_language)) {
    *error = "unknown language " + ascii(options->add_language_value);
    return false;
  }
  // The copies are made from one language, and must not replace it.
  if (options->kinds.languages.size() != 1) {
    *error = "--add-language needs exactly one --language";
    return false;
  }
  if (options->kinds.languages[0] == options->added_language) {
    *error = "--add-language must differ from --language";
    return false;
  }
  return true;
}

}  // namespace

bool parse_options(const std::vector<NativeString>& arguments, Options* options,
                   std::string* error) {
  *options = Options{};
  size_t index = 1;
  for (; index < arguments.size(); ++index) {
    const NativeString& argument = arguments[index];
    if (argument == native("--")) {
      ++index;
      break;
    }
    // -o FILE is the short form of --output, only when extracting: without
    // options a list file may be named "-o", as it always could.
    if (options->extract && argument == native("-o")) {
      if (index + 1 == arguments.size()) {
        *error = "option -o needs a value";
        return false;
      }
      options->has_output = true;
      options->output_path = arguments[++index];
      continue;
    }
    if (!starts_long_option(argument)) break;
    if (!take_option(arguments, &index, options, error)) return false;
  }
  std::vector<NativeString> operands(
      arguments.begin() +
          static_cast<std::ptrdiff_t>(std::min(index, arguments.size())),
      arguments.end());
  if (!check_combination(*options, error)) return false;
  if (options->has_contexts &&
      !read_context_level(options->contexts_value, &options->contexts)) {
    *error = "--contexts takes none, type, resource or place";
    return false;
  }
  if (options->has_translations_language &&
      !read_language_label(options->translations_language_value,
                           &options->translations_language)) {
    *error = "unknown language " + ascii(options->translations_language_value);
    return false;
  }
  if (!read_languages(options, error)) return false;
  name_operands(std::move(operands), options);
  return true;
}

void print_usage() {
  static const char kUsage[] =
      "Usage: uitrans [OPTIONS] [-s] LIST EXE...   translate executables\n"
      "       uitrans --extract [--po] [--pseudo] [-o FILE] EXE...\n"
      "                                           list their texts\n"
      "       uitrans --help | --version\n"
      "\n"
      "LIST is a UTF-16 list of find/replace line pairs, or a gettext\n"
      "catalogue (.po). Each EXE is translated in place; the original is\n"
      "kept as EXE.old.\n"
      "\n"
      "Options (before -s and LIST; -- ends them):\n"
      "  --dry-run          do everything but write: no backup, no output\n"
      "  --report FILE      write what was replaced and kept (UTF-8, TSV)\n"
      "  --check            warn of likely mistakes of the translation;\n"
      "                     exit status 4 when there is any\n"
      "  --fit              widen dialog controls whose texts no longer fit\n"
      "  --preview FILE     draw the dialogs and menus changed (HTML)\n"
      "  --string-tables    translate string tables too\n"
      "  --version-info     translate the texts of version information too\n"
      "  --message-tables   translate message tables too\n"
      "  --all-texts        translate every kind of text uitrans knows\n"
      "  --language=LANG    only resources in LANG (en-US, de, 0409, neutral;\n"
      "                     several: en-US,en-GB); also with --extract\n"
      "  --add-language=LANG  add the translation as LANG beside the\n"
      "                     --language original, which stays as it was\n"
      "  --extract          write a list template of the texts (UTF-16)\n"
      "  --po               with --extract: a gettext template (POT)\n"
      "  --pseudo           with --extract: fill in a pseudo-translation\n"
      "  -o, --output FILE  with --extract: write to FILE, not stdout\n"
      "  --contexts=LEVEL   with --extract --po: an entry per text and\n"
      "                     type, resource or place (default none)\n"
      "  --translations-from FILE\n"
      "                     with --extract --po: msgstr from a translated "
      "copy\n"
      "  --translations-language LANG\n"
      "                     the language of that copy (as for --language)\n"
      "  --help             show this help\n"
      "  --version          show the version\n";
  platform::print_text(kUsage, sizeof kUsage - 1);
}

}  // namespace uitrans
