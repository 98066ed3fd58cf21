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
