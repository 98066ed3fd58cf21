// SPDX-License-Identifier: MIT
// Gettext catalogues as the list file: the same output as a list holding the
// same pairs, texts with line breaks, the choice of reader, and refusals
// before any executable is touched.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "e2e/e2e_support.h"
#include "support/dialog_template.h"

namespace e2e {
namespace {

using testsupport::make_pair_list;
using testsupport::make_resource_image;
using testsupport::ResourceImage;
using testsupport::RunResult;

Bytes utf8(const std::string& text) { return Bytes(text.begin(), text.end()); }

const std::string kHeader =
    "# German texts.\n"
    "msgid \"\"\n"
    "msgstr \"\"\n"
    "\"Content-Type: text/plain; charset=UTF-8\\n\"\n"
    "\"Content-Transfer-Encoding: 8bit\\n\"\n";

class CatalogueTest : public E2eTest {
 protected:
  ResourceImage app =
      make_resource_image(one_menu_tree(sample_menu(u"&Open", u"&About")));
};

TEST_F(CatalogueTest, SameOutputAsAListWithTheSamePairs) {
  const std::vector<std::pair<std::u16string, std::u16string>> pairs = {
      {u"&File", u"&Datei"},     {u"&Open", u"\u00D6&ffnen"},
      {u"&About", u"x"},         {u"E&xit", u"&Beenden"},
      {u"&Open", u"&Zweites"},   {u"&Help", u"&Hilfe und mehr"},
      {u"&Nothing", u"&Nichts"},
  };
  const std::string catalogue =
      kHeader +
      "\n#: app.exe:MENU/1/0409\n"
      "msgid \"&File\"\nmsgstr \"&Datei\"\n\n"
      "msgctxt \"menu\"\n"
      "msgid \"&Open\"\nmsgstr \"\xC3\x96&ffnen\"\n\n"
      "msgid \"&About\"\nmsgstr \"x\"\n\n"
      "msgid \"E&xit\"\nmsgstr \"&Beenden\"\n\n"
      "msgid \"&Open\"\nmsgstr \"&Zweites\"\n\n"
      "msgid \"&Help\"\n"
      "msgstr \"&Hilfe \"\n\"und mehr\"\n\n"
      "#, fuzzy\nmsgid \"&About\"\nmsgstr \"&Info\"\n\n"
      "msgid \"&Nothing\"\nmsgstr \"&Nichts\"\n";
  write("list.txt", make_pair_list(pairs));
  write("app.exe", app.image.bytes);
  const RunResult by_list = run({"list.txt", "app.exe"});
  const Bytes list_output = read("app.exe");

  clear();
  write("app.po", utf8(catalogue));
  write("app.exe", app.image.bytes);
  const RunResult by_catalogue = run({"app.po", "app.exe"});
  EXPECT_EQ(by_catalogue.status, 0);
  EXPECT_EQ(by_catalogue.out, "4 strings replaced in app.exe.\n");
  EXPECT_EQ(by_catalogue.out, by_list.out);
  EXPECT_BYTES(read("app.exe"), list_output);
  EXPECT_BYTES(read("app.exe.old"), app.image.bytes);
  EXPECT_BYTES(read("out.txt"), kOutTxt);
}

TEST_F(CatalogueTest, TextsWithLineBreaksMatch) {
  const ResourceImage input = make_resource_image(
      one_menu_tree(sample_menu(u"&Open", u"About\tthis\r\nprogram")));
  const Bytes expected =
      expected_output(
          input,
          repack_of(input, {{kMenuItem, sample_menu(u"&Open",
                                                    u"\u00DCber\tdieses\r\n"
                                                    u"Programm")}}))
          .bytes;
  write("app.exe", input.image.bytes);
  write("de.po",
        utf8(kHeader + "\nmsgid \"\"\n\"About\\tthis\\r\\n\"\n\"program\"\n"
                       "msgstr \"\"\n\"\\303\\234ber\\tdieses\\r\\n\"\n"
                       "\"Programm\"\n"));
  const RunResult result = run({"-s", "de.po", "app.exe"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "1 strings replaced in app.exe.\n");
  EXPECT_BYTES(read("app.exe"), expected);
}

TEST_F(CatalogueTest, ReportNamesTheCatalogueLineOfUnusedEntries) {
  write("app.exe", app.image.bytes);
  write("de.po",
        utf8(kHeader + "\nmsgid \"&Open\"\nmsgstr \"&Load\"\n\n"
                       "msgid \"&Gone\"\nmsgstr \"&Weg\"\n\n"
                       "msgid \"Two\\nlines\"\nmsgstr \"Zwei\\nZeilen\"\n"));
  const RunResult result =
      run({"--dry-run", "--report", "r.tsv", "de.po", "app.exe"});
  EXPECT_EQ(result.status, 0);
  const Bytes report = read("r.tsv");
  const std::string text(report.begin(), report.end());
  EXPECT_NE(text.find("\nunused\t\t\t\t\t\t&Gone\t&Weg\t10\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("\nunused\t\t\t\t\t\tTwo\\nlines\tZwei\\nZeilen\t13\n"),
            std::string::npos)
      << text;
}

TEST_F(CatalogueTest, TheMarkAndTheNameChooseTheReader) {
  const Bytes catalogue = utf8("msgid \"&Open\"\nmsgstr \"&Load\"\n");
  const std::vector<std::tuple<const char*, std::string, Bytes, std::string>>
      cases = {
          {"a list named .po is a list", "list.po",
           make_pair_list({{u"&Open", u"&Load"}}),
           "1 strings replaced in app.exe.\n"},
          {"a catalogue named otherwise is not read", "list.txt", catalogue,
           "Not a unicode input file.\n"},
          {"a catalogue without pairs", "empty.po", utf8(kHeader),
           "No strings found to replace in app.exe.\n"},
      };
  for (const auto& [label, name, bytes, out] : cases) {
    SCOPED_TRACE(label);
    clear();
    write(name, bytes);
    write("app.exe", app.image.bytes);
    const RunResult result = run({name, "app.exe"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, out);
  }
}

TEST_F(CatalogueTest, UnreadableCatalogueEndsTheRunBeforeAnyExecutable) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"msgid \"&Open\"\nmsgstr \"&Load\n",
       "bad.po:2: syntax error in the catalogue.\n"},
      {"msgid \"&Open\"\nmsgstr \"&L\xE9\"\n",
       "bad.po:2: invalid UTF-8 in the catalogue.\n"},
      {"\n\nmsgid \"&Open\\q\"\n",
       "bad.po:3: invalid escape sequence in the catalogue.\n"},
      {"msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=CP1252\\n\"\n",
       "bad.po:1: the catalogue's charset is not UTF-8.\n"},
      {"\nmsgctxt \"ICON/1\"\nmsgid \"&Open\"\nmsgstr \"&Load\"\n",
       "bad.po:2: invalid context in the catalogue.\n"},
      {"msgctxt \"MENU//0409\"\nmsgid \"&Open\"\nmsgstr \"&Load\"\n",
       "bad.po:1: invalid context in the catalogue.\n"},
      {"msgctxt \"app.exe:\"\nmsgid \"&Open\"\nmsgstr \"&Load\"\n",
       "bad.po:1: invalid context in the catalogue.\n"},
  };
  for (const auto& [catalogue, message] : cases) {
    SCOPED_TRACE(message);
    clear();
    write("bad.po", utf8(catalogue));
    write("app.exe", app.image.bytes);
    const RunResult result = run({"bad.po", "app.exe", "missing.exe"});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.out, message);
    EXPECT_EQ(files(), (std::vector<std::string>{"app.exe", "bad.po"}));
    EXPECT_BYTES(read("app.exe"), app.image.bytes);
  }
}

// One text in two menus of two languages and in a dialog's title and two
// controls, and catalogues that translate it differently by place.
struct ContextCase {
  const char* label;
  std::string entries;                // after the header
  std::vector<std::string> replaced;  // "place=new text", in walk order
  std::vector<std::string> unused;    // lines of entries that applied nowhere
};

ResourceImage places_image() {
  testsupport::DialogSpec dialog;
  dialog.title = u"&Open";
  dialog.controls.resize(2);
  dialog.controls[0].id = 1;
  dialog.controls[0].title = testsupport::text_field(u"&Open");
  dialog.controls[1].id = 0xFFFF;
  dialog.controls[1].title = testsupport::text_field(u"&Open");
  testsupport::ResourceTreeSpec tree;
  tree.types.push_back(
      {testsupport::rid(4),
       {{testsupport::rid(1), {{0x409, sample_menu(u"&Open", u"&About")}}},
        {testsupport::rid(2), {{0x407, sample_menu(u"&Open", u"&About")}}}}});
  tree.types.push_back(
      {testsupport::rid(5),
       {{testsupport::rid(9), {{0x409, testsupport::make_dialog(dialog)}}}}});
  return make_resource_image(tree);
}

std::string entry(const std::string& context, const std::string& find,
                  const std::string& translation) {
  std::string text = "\n";
  if (!context.empty()) text += "msgctxt \"" + context + "\"\n";
  return text + "msgid \"" + find + "\"\nmsgstr \"" + translation + "\"\n";
}

const std::string kMenu1 = "MENU/1/0409/item 100=";
const std::string kMenu2 = "MENU/2/0407/item 100=";
const std::string kTitle = "DIALOG/9/0409/title=";
const std::string kControl1 = "DIALOG/9/0409/control 1=";
const std::string kControl2 = "DIALOG/9/0409/control #2=";

// The replaced rows of a report as "TYPE/NAME/LANG/PLACE=after", and the
// lines of its unused rows.
void read_report(const std::string& report, std::vector<std::string>* replaced,
                 std::vector<std::string>* unused) {
  size_t start = 0;
  while (start < report.size()) {
    size_t end = report.find('\n', start);
    std::vector<std::string> fields;
    size_t at = start;
    while (at <= end) {
      size_t tab = std::min(report.find('\t', at), end);
      fields.push_back(report.substr(at, tab - at));
      at = tab + 1;
    }
    if (fields[0] == "replaced") {
      replaced->push_back(fields[2] + "/" + fields[3] + "/" + fields[4] + "/" +
                          fields[5] + "=" + fields[7]);
    } else if (fields[0] == "unused") {
      unused->push_back(fields[8]);
    }
    start = end + 1;
  }
}

TEST_F(CatalogueTest, TheMostSpecificContextWinsAtEachPlace) {
  const std::string general = entry("", "&Open", "&Auf");
  const std::vector<ContextCase> cases = {
      {"no context: everywhere",
       general,
       {kMenu1 + "&Auf", kMenu2 + "&Auf", kTitle + "&Auf", kControl1 + "&Auf",
        kControl2 + "&Auf"},
       {}},
      {"by type, either case",
       general + entry("dialog", "&Open", "&Dlg"),
       {kMenu1 + "&Auf", kMenu2 + "&Auf", kTitle + "&Dlg", kControl1 + "&Dlg",
        kControl2 + "&Dlg"},
       {}},
      {"by resource and by language beat the type",
       general + entry("MENU", "&Open", "&Menu") +
           entry("MENU/2", "&Open", "&Zwei") +
           entry("MENU/1/0409", "&Open", "&Eins"),
       {kMenu1 + "&Eins", kMenu2 + "&Zwei", kTitle + "&Auf", kControl1 + "&Auf",
        kControl2 + "&Auf"},
       {"11"}},
      {"by place, a static text by its number",
       general + entry("DIALOG/9/0409/control #2", "&Open", "&Statisch"),
       {kMenu1 + "&Auf", kMenu2 + "&Auf", kTitle + "&Auf", kControl1 + "&Auf",
        kControl2 + "&Statisch"},
       {}},
      {"this file beats every file, another file never applies",
       entry("DIALOG", "&Open", "&Alle") +
           entry("app.exe:DIALOG", "&Open", "&Diese") +
           entry("other.exe:DIALOG/9", "&Open", "&Andere"),
       {kTitle + "&Diese", kControl1 + "&Diese", kControl2 + "&Diese"},
       {"8", "16"}},
      {"equal contexts: the first wins",
       entry("DIALOG/9", "&Open", "&Erste") +
           entry("DIALOG/9", "&Open", "&Zweite"),
       {kTitle + "&Erste", kControl1 + "&Erste", kControl2 + "&Erste"},
       {"12"}},
      {"a menu tail under the context of its item",
       entry("MENU/2/0407/item 100", "Open", "ffnen"),
       {kMenu2 + "&ffnen"},
       {}},
      {"a context that names no place",
       general + entry("DIALOG/77", "&Open", "&Nie"),
       {kMenu1 + "&Auf", kMenu2 + "&Auf", kTitle + "&Auf", kControl1 + "&Auf",
        kControl2 + "&Auf"},
       {"11"}},
  };
  const ResourceImage input = places_image();
  for (const ContextCase& c : cases) {
    SCOPED_TRACE(c.label);
    clear();
    write("app.exe", input.image.bytes);
    write("de.po", utf8(kHeader + c.entries));
    const RunResult result =
        run({"--dry-run", "--report", "r.tsv", "de.po", "app.exe"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(
        result.out.substr(0, result.out.find('\n') + 1),
        std::to_string(c.replaced.size()) + " strings replaced in app.exe.\n");
    const Bytes report = read("r.tsv");
    std::vector<std::string> replaced;
    std::vector<std::string> unused;
    read_report(std::string(report.begin(), report.end()), &replaced, &unused);
    EXPECT_EQ(replaced, c.replaced);
    EXPECT_EQ(unused, c.unused);
  }
}

// Every level of --contexts: the entries of "&Open" and their contexts.
TEST_F(CatalogueTest, TemplatesTellEntriesApartByTheContextsAsked) {
  const std::vector<std::pair<const char*, std::vector<std::string>>> cases = {
      {"none", {""}},
      {"type", {"MENU", "DIALOG"}},
      {"resource", {"MENU/1/0409", "MENU/2/0407", "DIALOG/9/0409"}},
      {"place",
       {"MENU/1/0409/item 100", "MENU/2/0407/item 100", "DIALOG/9/0409/title",
        "DIALOG/9/0409/control 1", "DIALOG/9/0409/control #2"}},
  };
  write("app.exe", places_image().image.bytes);
  for (const auto& [level, contexts] : cases) {
    SCOPED_TRACE(level);
    const RunResult result = run(
        {"--extract", "--po", std::string("--contexts=") + level, "app.exe"});
    ASSERT_EQ(result.status, 0);
    std::vector<std::string> found;
    for (size_t at = result.out.find("msgid \"&Open\"");
         at != std::string::npos;
         at = result.out.find("msgid \"&Open\"", at + 1)) {
      size_t line = result.out.rfind('\n', at - 2) + 1;
      std::string previous = result.out.substr(line, at - 1 - line);
      found.push_back(previous.rfind("msgctxt \"", 0) == 0
                          ? previous.substr(9, previous.size() - 10)
                          : "");
    }
    EXPECT_EQ(found, contexts);
  }
}

// A catalogue recovered from a program and its translated copy gives the
// copy back: a text translated one way everywhere, or two ways (the
// entries then carry the contexts that keep the ways apart).
TEST_F(CatalogueTest, RecoveredCatalogueGivesTheTranslatedCopyBack) {
  const std::vector<std::pair<const char*, std::string>> cases = {
      {"one way", entry("", "&Open", "&Auf") + entry("", "E&xit", "&Ende")},
      {"two ways", entry("", "&Open", "&Auf") +
                       entry("DIALOG/9/0409/control #2", "&Open", "&Dlg")},
  };
  const ResourceImage input = places_image();
  for (const auto& [label, entries] : cases) {
    SCOPED_TRACE(label);
    clear();
    write("app.exe", input.image.bytes);
    write("de.exe", input.image.bytes);
    write("de.po", utf8(kHeader + entries));
    ASSERT_EQ(run({"de.po", "de.exe"}).status, 0);
    const RunResult recovered = run({"--extract", "--po", "--translations-from",
                                     "de.exe", "-o", "back.po", "app.exe"});
    ASSERT_EQ(recovered.status, 0);
    ASSERT_EQ(run({"back.po", "app.exe"}).status, 0);
    EXPECT_BYTES(read("app.exe"), read("de.exe"));
  }
  // The entries of the second: the places of one way, and the other.
  const Bytes back = read("back.po");
  const std::string text(back.begin(), back.end());
  EXPECT_NE(text.find("msgctxt \"MENU\"\nmsgid \"&Open\"\nmsgstr \"&Auf\"\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("msgctxt \"DIALOG/9/0409/title\"\nmsgid \"&Open\"\n"
                      "msgstr \"&Auf\"\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("msgctxt \"DIALOG/9/0409/control #2\"\nmsgid "
                      "\"&Open\"\nmsgstr \"&Dlg\"\n"),
            std::string::npos)
      << text;
}

// From one program's own languages, and not across resources whose places
// differ.
TEST_F(CatalogueTest, RecoveryFromOtherLanguagesAndMismatches) {
  testsupport::ResourceTreeSpec two_languages;
  two_languages.types.push_back(
      {testsupport::rid(4),
       {{testsupport::rid(1),
         {{0x407, sample_menu(u"\u00D6&ffnen", u"\u00DC&ber")},
          {0x409, sample_menu(u"&Open", u"&About")}}}}});
  write("app.exe", make_resource_image(two_languages).image.bytes);
  // The source's language chosen, the copy's read in every language.
  const RunResult own =
      run({"--extract", "--po", "--language", "en-US", "--translations-from",
           "app.exe", "--translations-language", "0x407", "app.exe"});
  EXPECT_EQ(own.status, 0);
  EXPECT_NE(own.out.find("msgid \"&Open\"\nmsgstr \"\xC3\x96&ffnen\"\n"),
            std::string::npos)
      << own.out;
  EXPECT_NE(own.out.find("msgid \"&About\"\nmsgstr \"\xC3\x9C&ber\"\n"),
            std::string::npos)
      << own.out;

  testsupport::ResourceTreeSpec other_items;
  other_items.types.push_back(
      {testsupport::rid(4),
       {{testsupport::rid(1),
         {{0x409, testsupport::make_menu({{u"&Datei", 0x100, {}, 0}})}}}}});
  write("de.exe", make_resource_image(other_items).image.bytes);
  testsupport::RunOptions noisy;
  noisy.allow_stderr = true;
  const RunResult mismatch = run(
      {"--extract", "--po", "--translations-from", "de.exe", "app.exe"}, noisy);
  EXPECT_EQ(mismatch.err,
            "uitrans: MENU/1/0407: its places differ in the translated copy; "
            "left untranslated\n"
            "uitrans: MENU/1/0409: its places differ in the translated copy; "
            "left untranslated\n");
  EXPECT_EQ(mismatch.out.find("msgstr \"&"), std::string::npos) << mismatch.out;
}

TEST_F(CatalogueTest, ExtractionWritesAGettextTemplate) {
  const ResourceImage input = make_resource_image(
      one_menu_tree(sample_menu(u"Two\nlines", u"\xD800x")));
  write("app.exe", input.image.bytes);
  testsupport::RunOptions noisy;
  noisy.allow_stderr = true;
  const RunResult result = run({"--extract", "--po", "app.exe"}, noisy);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "uitrans: 1 text left out (not valid UTF-16)\n");
  const std::string& pot = result.out;
  EXPECT_NE(pot.find("\"Content-Type: text/plain; charset=UTF-8\\n\"\n"),
            std::string::npos);
  const size_t entries = pot.find("\n\n#. menu item");
  ASSERT_NE(entries, std::string::npos) << pot;
  EXPECT_EQ(pot.substr(entries + 2),
            "#. menu item\n#: app.exe:MENU/1/0409\n"
            "msgid \"&File\"\nmsgstr \"\"\n\n"
            "#. menu item\n#: app.exe:MENU/1/0409\n"
            "msgid \"\"\n\"Two\\n\"\n\"lines\"\nmsgstr \"\"\n\n"
            "#. menu item\n#: app.exe:MENU/1/0409\n"
            "msgid \"E&xit\"\nmsgstr \"\"\n\n"
            "#. menu item\n#: app.exe:MENU/1/0409\n"
            "msgid \"&Help\"\nmsgstr \"\"\n");
  EXPECT_BYTES(read("app.exe"), input.image.bytes);
  EXPECT_FALSE(exists("out.txt"));
}

}  // namespace
}  // namespace e2e
