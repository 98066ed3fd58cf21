// SPDX-License-Identifier: MIT
// Languages: --language limits a run to the resources of the languages it
// names, and --add-language adds the translation beside the original, the
// resource directory written anew.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e/e2e_support.h"

namespace e2e {
namespace {

using testsupport::append16;
using testsupport::append32;
using testsupport::append_text;
using testsupport::get16;
using testsupport::get32;
using testsupport::make_pair_list;
using testsupport::make_resource_image;
using testsupport::MenuItem;
using testsupport::ResourceImage;
using testsupport::ResourceKey;
using testsupport::ResourceName;
using testsupport::ResourceTreeSpec;
using testsupport::rid;
using testsupport::rname;
using testsupport::RunResult;

constexpr uint32_t kEnglish = 0x409;
constexpr uint32_t kGerman = 0x407;
constexpr uint32_t kFrench = 0x40C;

const testsupport::RunOptions kNoisy = [] {
  testsupport::RunOptions options;
  options.allow_stderr = true;
  return options;
}();

Bytes menu_of(const std::u16string& file, const std::u16string& open) {
  return testsupport::make_menu(
      {MenuItem{file, 0, {MenuItem{open, 100, {}, 0}}, 0}});
}

const Bytes kEnglishMenu = menu_of(u"&File", u"&Open");
const Bytes kGermanMenu = menu_of(u"&Datei", u"&Open");

// A menu in English and in German (both with "&Open"), and two resources of
// named types, given out of order.
ResourceTreeSpec two_language_tree() {
  ResourceTreeSpec tree;
  tree.types.push_back({rname(u"ZEBRA"), {{rid(1), {{kEnglish, {1, 2, 3}}}}}});
  tree.types.push_back({rname(u"alpha"), {{rid(1), {{kEnglish, {4, 5}}}}}});
  tree.types.push_back(
      {rid(4),
       {{rid(1), {{kGerman, kGermanMenu, 1252}, {kEnglish, kEnglishMenu}}}}});
  return tree;
}

ResourceKey key(const ResourceName& type, const ResourceName& name,
                uint32_t language) {
  return ResourceKey{type, name, rid(language)};
}

ResourceKey menu_key(uint32_t language) {
  return key(rid(4), rid(1), language);
}

// The texts of a list template, UTF-16 as the tool writes them.
std::string list_text(const std::string& out) {
  std::string ascii;
  for (size_t i = 2; i + 1 < out.size(); i += 2) ascii.push_back(out[i]);
  return ascii;
}

// Whether every directory of the tree lists named entries first, names in
// ascending order of their upper-case units, then ids in ascending order.
bool entries_sorted(const Bytes& image, uint32_t root, uint32_t offset,
                    int depth) {
  uint16_t named = get16(image, root + offset + 12);
  uint16_t ids = get16(image, root + offset + 14);
  std::u16string last_name;
  uint32_t last_id = 0;
  for (uint32_t i = 0; i < uint32_t{named} + ids; ++i) {
    uint32_t entry = root + offset + 16 + 8 * i;
    uint32_t name = get32(image, entry);
    uint32_t target = get32(image, entry + 4);
    if (i < named) {
      uint32_t at = root + (name & 0x7FFFFFFF);
      std::u16string text;
      for (uint16_t u = 0; u < get16(image, at); ++u) {
        char16_t unit = static_cast<char16_t>(get16(image, at + 2 + 2 * u));
        text.push_back(unit >= u'a' && unit <= u'z' ? unit - 32 : unit);
      }
      if (i > 0 && !(last_name < text)) return false;
      last_name = text;
    } else {
      if ((name & 0x80000000) != 0) return false;
      if (i > named && name <= last_id) return false;
      last_id = name;
    }
    bool directory = (target & 0x80000000) != 0;
    if (directory != (depth < 2)) return false;
    if (directory &&
        !entries_sorted(image, root, target & 0x7FFFFFFF, depth + 1)) {
      return false;
    }
  }
  return true;
}

bool tree_sorted(const Bytes& image) {
  const auto headers = testsupport::read_headers(image);
  if (!headers || headers->rsrc_index < 0) return false;
  uint32_t root = headers->sections[headers->rsrc_index].pointer_to_raw_data;
  return entries_sorted(image, root, 0, 0);
}

class LanguageTest : public E2eTest {
 protected:
  ResourceImage app = make_resource_image(two_language_tree());
  Bytes list = make_pair_list({{u"&Open", u"&Load"}, {u"&File", u"&Fichier"}});

  RunResult translate(const std::vector<std::string>& options,
                      testsupport::RunOptions run_options = {}) {
    write("list.txt", list);
    write("app.exe", app.image.bytes);
    std::vector<std::string> args = options;
    args.push_back("list.txt");
    args.push_back("app.exe");
    return run(args, run_options);
  }
};

TEST_F(LanguageTest, TranslatesOnlyTheLanguageNamedByTagOrId) {
  for (const char* language : {"de-DE", "de", "DE", "0407", "0x0407"}) {
    const RunResult result = translate({"--language", language});
    EXPECT_EQ(result.status, 0) << language;
    EXPECT_EQ(result.out, "1 strings replaced in app.exe.\n") << language;
    const auto view = testsupport::read_resources(read("app.exe"));
    ASSERT_TRUE(view) << language;
    EXPECT_BYTES(view->items.at(menu_key(kGerman)),
                 menu_of(u"&Datei", u"&Load"));
    EXPECT_BYTES(view->items.at(menu_key(kEnglish)), kEnglishMenu);
    clear();
  }
}

TEST_F(LanguageTest, SeveralLanguagesCommaSeparatedOrRepeated) {
  for (const std::vector<std::string>& options :
       {std::vector<std::string>{"--language=en-US,de-DE"},
        std::vector<std::string>{"--language=en", "--language", "0407"}}) {
    const RunResult result = translate(options);
    EXPECT_EQ(result.out, "3 strings replaced in app.exe.\n");
    const auto view = testsupport::read_resources(read("app.exe"));
    ASSERT_TRUE(view);
    EXPECT_BYTES(view->items.at(menu_key(kGerman)),
                 menu_of(u"&Datei", u"&Load"));
    EXPECT_BYTES(view->items.at(menu_key(kEnglish)),
                 menu_of(u"&Fichier", u"&Load"));
    clear();
  }
}

TEST_F(LanguageTest, ALanguageWithoutResourcesReplacesNothing) {
  const RunResult result = translate({"--language", "neutral"});
  EXPECT_EQ(result.out, "No strings found to replace in app.exe.\n");
  EXPECT_BYTES(read("app.exe"), app.image.bytes);
}

TEST_F(LanguageTest, DryRunAndReportSeeOnlyTheLanguage) {
  const RunResult result =
      translate({"--dry-run", "--report", "r.tsv", "--language", "en-US"});
  EXPECT_EQ(result.out, "2 strings replaced in app.exe.\n");
  EXPECT_BYTES(read("app.exe"), app.image.bytes);
  const Bytes report = read("r.tsv");
  const std::string text(report.begin(), report.end());
  EXPECT_NE(text.find("replaced\tapp.exe\tMENU\t1\t0409\t"), std::string::npos)
      << text;
  EXPECT_EQ(text.find("0407"), std::string::npos) << text;
}

TEST_F(LanguageTest, ExtractionListsOnlyTheLanguage) {
  write("app.exe", app.image.bytes);
  const RunResult german = run({"--extract", "--language=de-DE", "app.exe"});
  EXPECT_EQ(german.status, 0);
  EXPECT_EQ(list_text(german.out),
            "&Datei\r\n&Datei\r\n\r\n"
            "&Open\r\n&Open\r\n\r\n");
  const RunResult po =
      run({"--extract", "--po", "--language", "en-US", "app.exe"});
  EXPECT_EQ(po.status, 0);
  EXPECT_NE(po.out.find("#: app.exe:MENU/1/0409\nmsgid \"&File\""),
            std::string::npos);
  EXPECT_EQ(po.out.find("0407"), std::string::npos);
  EXPECT_EQ(po.out.find("Datei"), std::string::npos);
}

TEST_F(LanguageTest, UnknownOrMisusedLanguagesAreUsageErrors) {
  struct Case {
    std::vector<std::string> options;
    std::string error;
  };
  const std::vector<Case> cases = {
      {{"--language", "xx-YY"}, "unknown language xx-YY"},
      {{"--language", "en-US,klingon"}, "unknown language klingon"},
      {{"--language", "12345"}, "unknown language 12345"},
      {{"--add-language", "de"}, "--add-language needs exactly one --language"},
      {{"--language=en,de", "--add-language", "fr"},
       "--add-language needs exactly one --language"},
      {{"--language=en", "--add-language", "0409"},
       "--add-language must differ from --language"},
      {{"--language=en", "--add-language", "fr-XX"}, "unknown language fr-XX"},
  };
  for (const Case& c : cases) {
    const RunResult result = translate(c.options, kNoisy);
    EXPECT_EQ(result.status, 1) << c.error;
    EXPECT_EQ(result.err, "uitrans: " + c.error + " (see uitrans --help)\n");
    EXPECT_EQ(result.out, "");
    EXPECT_BYTES(read("app.exe"), app.image.bytes);
  }
  write("app.exe", app.image.bytes);
  const RunResult extract = run(
      {"--extract", "--language=en", "--add-language=de", "app.exe"}, kNoisy);
  EXPECT_EQ(extract.status, 1);
  EXPECT_EQ(extract.err,
            "uitrans: --add-language belongs to translation runs (see uitrans "
            "--help)\n");
}

// Every item of the input is found under its key in the output, byte for
// byte, unless listed in `changed`.
void expect_items_kept(const testsupport::ResourceView& before,
                       const testsupport::ResourceView& after,
                       const std::vector<ResourceKey>& changed) {
  for (const auto& [item_key, bytes] : before.items) {
    if (std::find(changed.begin(), changed.end(), item_key) != changed.end()) {
      continue;
    }
    ASSERT_TRUE(after.items.count(item_key));
    EXPECT_BYTES(after.items.at(item_key), bytes);
  }
}

TEST_F(LanguageTest, AddLanguagePutsTheTranslationBesideTheOriginal) {
  const RunResult result =
      translate({"--language", "en-US", "--add-language", "fr-FR"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "2 strings replaced in app.exe.\n");
  const Bytes output = read("app.exe");
  const auto before = testsupport::read_resources(app.image.bytes);
  const auto after = testsupport::read_resources(output);
  ASSERT_TRUE(before && after);
  EXPECT_EQ(after->items.size(), before->items.size() + 1);
  expect_items_kept(*before, *after, {});
  EXPECT_BYTES(after->items.at(menu_key(kFrench)),
               menu_of(u"&Fichier", u"&Load"));
  EXPECT_TRUE(tree_sorted(output));
  // The named types come first, in upper-case order: ALPHA before ZEBRA.
  ASSERT_EQ(after->entries.size(), 5u);
  EXPECT_EQ(after->entries[0].key, key(rname(u"alpha"), rid(1), kEnglish));
  EXPECT_EQ(after->entries[1].key, key(rname(u"ZEBRA"), rid(1), kEnglish));
  EXPECT_EQ(after->entries[2].key, menu_key(kGerman));
  EXPECT_EQ(after->entries[3].key, menu_key(kEnglish));
  EXPECT_EQ(after->entries[4].key, menu_key(kFrench));
  // The copy's data entry takes the original's code page.
  const auto headers = testsupport::read_headers(output);
  ASSERT_TRUE(headers);
  uint32_t root = headers->sections[headers->rsrc_index].pointer_to_raw_data;
  EXPECT_EQ(get32(output, root + after->entries[4].entry_offset + 8),
            get32(output, root + after->entries[3].entry_offset + 8));
}

TEST_F(LanguageTest, AddLanguageReplacesAnExistingCopy) {
  ResourceTreeSpec tree = two_language_tree();
  tree.types[2].entries[0].languages.push_back(
      {kFrench, menu_of(u"&Fichier (old)", u"&Ouvrir")});
  app = make_resource_image(tree);
  const RunResult result =
      translate({"--language", "0409", "--add-language", "fr"});
  EXPECT_EQ(result.out, "2 strings replaced in app.exe.\n");
  const Bytes output = read("app.exe");
  const auto before = testsupport::read_resources(app.image.bytes);
  const auto after = testsupport::read_resources(output);
  ASSERT_TRUE(before && after);
  EXPECT_EQ(after->items.size(), before->items.size());
  expect_items_kept(*before, *after, {menu_key(kFrench)});
  EXPECT_BYTES(after->items.at(menu_key(kFrench)),
               menu_of(u"&Fichier", u"&Load"));
  EXPECT_TRUE(tree_sorted(output));
}

TEST_F(LanguageTest, AddLanguageWithNothingReplacedWritesNothing) {
  list = make_pair_list({{u"&Nothing", u"&Rien"}});
  const RunResult result =
      translate({"--language", "en-US", "--add-language", "fr-FR"});
  EXPECT_EQ(result.out, "No strings found to replace in app.exe.\n");
  EXPECT_BYTES(read("app.exe"), app.image.bytes);
}

TEST_F(LanguageTest, AnExistingCopyOfAnotherResourceIsKept) {
  ResourceTreeSpec tree = two_language_tree();
  tree.types[2].entries.push_back(
      {rid(2), {{kFrench, menu_of(u"&Autre", u"&Ouvrir")}}});
  app = make_resource_image(tree);
  translate({"--language", "en-US", "--add-language", "fr-FR"});
  const auto before = testsupport::read_resources(app.image.bytes);
  const auto after = testsupport::read_resources(read("app.exe"));
  ASSERT_TRUE(before && after);
  expect_items_kept(*before, *after, {});
  EXPECT_EQ(after->items.size(), before->items.size() + 1);
}

// A version node: header, key, value at a multiple of four, children.
Bytes version_node(const std::u16string& key, uint16_t type, const Bytes& value,
                   uint16_t value_length, const std::vector<Bytes>& children) {
  Bytes out(6, 0);
  append_text(out, key);
  append16(out, 0);
  testsupport::pad_to(out, 4);
  out.insert(out.end(), value.begin(), value.end());
  for (const Bytes& child : children) {
    testsupport::pad_to(out, 4);
    out.insert(out.end(), child.begin(), child.end());
  }
  testsupport::put16(out, 0, static_cast<uint16_t>(out.size()));
  testsupport::put16(out, 2, value_length);
  testsupport::put16(out, 4, type);
  return out;
}

Bytes version_string(const std::u16string& key, const std::u16string& text) {
  Bytes value;
  append_text(value, text);
  append16(value, 0);
  return version_node(key, 1, value, static_cast<uint16_t>(text.size() + 1),
                      {});
}

Bytes version_block(const std::u16string& table_key, uint32_t translation,
                    const std::u16string& description) {
  Bytes words;
  append32(words, translation);
  return version_node(
      u"VS_VERSION_INFO", 0, {}, 0,
      {version_node(
           u"StringFileInfo", 1, {}, 0,
           {version_node(table_key, 1, {}, 0,
                         {version_string(u"FileDescription", description)})}),
       version_node(u"VarFileInfo", 1, {}, 0,
                    {version_node(u"Translation", 0, words, 4, {})})});
}

TEST_F(LanguageTest, VersionInformationCopiesNameTheirLanguage) {
  ResourceTreeSpec tree;
  tree.types.push_back({rid(16),
                        {{rid(1),
                          {{kEnglish, version_block(u"040904B0", 0x04B00409,
                                                    u"Sample editor")}}}}});
  app = make_resource_image(tree);
  list = make_pair_list({{u"Sample editor", u"Beispieleditor"}});
  const RunResult result = translate(
      {"--version-info", "--language", "en-US", "--add-language", "de-DE"});
  // The section grows for the copy.
  EXPECT_EQ(result.out.rfind("1 strings replaced in app.exe.\n", 0), 0u);
  const auto after = testsupport::read_resources(read("app.exe"));
  ASSERT_TRUE(after);
  EXPECT_BYTES(after->items.at(key(rid(16), rid(1), kEnglish)),
               version_block(u"040904B0", 0x04B00409, u"Sample editor"));
  EXPECT_BYTES(after->items.at(key(rid(16), rid(1), kGerman)),
               version_block(u"040704B0", 0x04B00407, u"Beispieleditor"));
}

TEST_F(LanguageTest, ASharedTreeCannotTakeANewLanguage) {
  using testsupport::kHighBit;
  using testsupport::put_data_entry;
  using testsupport::put_directory;
  using testsupport::put_entry;
  Bytes rsrc;
  put_directory(rsrc, 0x00, 0, 1);
  put_entry(rsrc, 0x10, 4, kHighBit | 0x18);
  put_directory(rsrc, 0x18, 0, 2);
  put_entry(rsrc, 0x28, 1, kHighBit | 0x38);
  put_entry(rsrc, 0x30, 2, kHighBit | 0x38);  // both names share languages
  put_directory(rsrc, 0x38, 0, 1);
  put_entry(rsrc, 0x48, kEnglish, 0x50);
  put_data_entry(rsrc, 0x50, testsupport::kRsrcRva + 0x60,
                 static_cast<uint32_t>(kEnglishMenu.size()));
  rsrc.resize(0x60);
  rsrc.insert(rsrc.end(), kEnglishMenu.begin(), kEnglishMenu.end());
  app = testsupport::make_raw_resource_image(rsrc);
  const RunResult result =
      translate({"--language", "en-US", "--add-language", "fr-FR"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "Can't grow the resource section of app.exe.\n");
  EXPECT_BYTES(read("app.exe"), app.image.bytes);
  EXPECT_FALSE(exists("app.exe.old"));
  // Without adding a language the same tree is translated as always.
  const RunResult plain = translate({"--language", "en-US"});
  EXPECT_EQ(plain.out, "2 strings replaced in app.exe.\n");
}

}  // namespace
}  // namespace e2e
