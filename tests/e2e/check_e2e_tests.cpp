// SPDX-License-Identifier: MIT
// Checking a translation: translations whose placeholders differ are kept
// out of string and message tables in every run; --check warns of the rest
// of what a translator easily breaks, and ends the run with status 4; and a
// pseudo-translated template applied to its program passes every check.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "e2e/e2e_support.h"
#include "support/dialog_template.h"
#include "support/resource_blocks.h"

namespace e2e {
namespace {

using testsupport::append16;
using testsupport::append_text;
using testsupport::make_pair_list;
using testsupport::make_resource_image;
using testsupport::ResourceImage;
using testsupport::ResourceTreeSpec;
using testsupport::rid;
using testsupport::RunResult;

using Pairs = std::vector<std::pair<std::u16string, std::u16string>>;

constexpr uint32_t kMessageTableType = 11;

// A message table of one block, ids from 1, each entry a UTF-16 text.
Bytes message_table(const std::vector<std::u16string>& texts) {
  testsupport::Block block{1, {}};
  for (const std::u16string& text : texts) {
    block.entries.push_back(testsupport::unicode_entry(text));
  }
  return testsupport::message_table({block});
}

// A string block (STRING/1/0409): strings 0 to 15.
Bytes string_block(const std::vector<std::u16string>& texts) {
  Bytes bytes;
  for (size_t i = 0; i < 16; ++i) {
    const std::u16string text = i < texts.size() ? texts[i] : u"";
    append16(bytes, static_cast<uint16_t>(text.size()));
    append_text(bytes, text);
  }
  return bytes;
}

// MENU/1/0409: "&File" on the bar, its items 100, 101... and "&Help".
Bytes menu_of(const std::vector<std::u16string>& texts) {
  testsupport::MenuItem file{u"&File", 0, {}, 0};
  for (size_t i = 0; i < texts.size(); ++i) {
    file.children.push_back({texts[i], static_cast<uint32_t>(100 + i), {}, 0});
  }
  testsupport::MenuItem help{u"&Help", 0, {{u"&About", 200, {}, 0}}, 0};
  return testsupport::make_menu({file, help});
}

// DIALOG/9/0409: controls 1, 2... with the texts.
Bytes dialog_of(const std::vector<std::u16string>& texts) {
  testsupport::DialogSpec dialog;
  dialog.title = u"Options";
  for (size_t i = 0; i < texts.size(); ++i) {
    testsupport::DialogControl control;
    control.id = static_cast<uint32_t>(1 + i);
    control.title = testsupport::text_field(texts[i]);
    dialog.controls.push_back(control);
  }
  return testsupport::make_dialog(dialog);
}

enum class Kind { menu, dialog, strings, messages };

ResourceTreeSpec tree_of(Kind kind, const std::vector<std::u16string>& texts) {
  ResourceTreeSpec tree;
  auto one = [&](uint32_t type, uint32_t name, Bytes data) {
    tree.types.push_back({rid(type), {{rid(name), {{0x409, data}}}}});
  };
  switch (kind) {
    case Kind::menu:
      one(4, 1, menu_of(texts));
      break;
    case Kind::dialog:
      one(5, 9, dialog_of(texts));
      break;
    case Kind::strings:
      one(6, 1, string_block(texts));
      break;
    case Kind::messages:
      one(kMessageTableType, 1, message_table(texts));
      break;
  }
  return tree;
}

// A gettext catalogue of the pairs: unlike a list, it holds line breaks.
Bytes catalogue(const Pairs& pairs) {
  std::string text =
      "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n";
  auto quoted = [](const std::u16string& units) {
    std::string out = "\"";
    for (char16_t u : units) {
      if (u == u'\n' || u == u'\r' || u == u'\t' || u == u'"' || u == u'\\') {
        out += '\\';
        out += u == u'\n' ? 'n' : u == u'\r' ? 'r' : u == u'\t' ? 't' : char(u);
      } else if (u < 0x80) {
        out += static_cast<char>(u);
      } else if (u < 0x800) {
        out += static_cast<char>(0xC0 | (u >> 6));
        out += static_cast<char>(0x80 | (u & 0x3F));
      } else {
        out += static_cast<char>(0xE0 | (u >> 12));
        out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (u & 0x3F));
      }
    }
    return out + "\"";
  };
  for (const auto& [find, replacement] : pairs) {
    text +=
        "\nmsgid " + quoted(find) + "\nmsgstr " + quoted(replacement) + "\n";
  }
  return Bytes(text.begin(), text.end());
}

const testsupport::RunOptions kNoisy = [] {
  testsupport::RunOptions options;
  options.allow_stderr = true;
  return options;
}();

struct CheckCase {
  const char* label;
  Kind kind;
  std::vector<std::u16string> texts;
  Pairs pairs;
  std::string findings;  // standard error of a run with --check, per line
                         // after "app.exe: "
  int refused = 0;       // translations refused
};

const std::string kMenu = "MENU/1/0409/";
const std::string kDialog = "DIALOG/9/0409/";
const std::string kString = "STRING/1/0409/";
const std::string kMessage = "MESSAGETABLE/1/0409/";

std::vector<CheckCase> check_cases() {
  return {
      // Mnemonics.
      {"mnemonic kept",
       Kind::menu,
       {u"&Open", u"&Save"},
       {{u"&Open", u"\u00D6&ffnen"}},
       ""},
      {"mnemonic lost",
       Kind::menu,
       {u"&Open", u"&Save"},
       {{u"&Open", u"Oeffnen"}},
       kMenu + "item 100: mnemonic-lost: the source's mnemonic &O has no "
               "counterpart\n"},
      {"a literal ampersand is no mnemonic",
       Kind::menu,
       {u"Save && &quit"},
       {{u"Save && &quit", u"Sichern && Ende"}},
       kMenu + "item 100: mnemonic-lost: the source's mnemonic &q has no "
               "counterpart\n"},
      {"mnemonic added",
       Kind::dialog,
       {u"Name", u"&OK"},
       {{u"Name", u"&Nom"}},
       kDialog + "control 1: mnemonic-added: the translation has a mnemonic "
                 "&N, the source none\n"},
      {"mnemonic clash in one pop-up, either case",
       Kind::menu,
       {u"&Open", u"&Save"},
       {{u"&Save", u"&open all"}},
       kMenu + "item 101: mnemonic-clash: &o is also the mnemonic of item "
               "100\n"},
      {"no clash across pop-ups",
       Kind::menu,
       {u"&Open", u"&Save"},
       {{u"&Save", u"&Hilfe"}},
       ""},
      {"clash in one dialog",
       Kind::dialog,
       {u"&Name", u"&Value"},
       {{u"&Value", u"&Nummer"}},
       kDialog + "control 2: mnemonic-clash: &n is also the mnemonic of "
                 "control 1\n"},
      {"a clash the sources had is no finding",
       Kind::dialog,
       {u"&Name", u"&Number"},
       {{u"&Number", u"&Nummer"}},
       ""},
      // The shortcut column.
      {"tab kept",
       Kind::menu,
       {u"&Open\tCtrl+O"},
       {{u"&Open\tCtrl+O", u"\u00D6&ffnen\tStrg+O"}},
       ""},
      {"tab lost",
       Kind::menu,
       {u"&Open\tCtrl+O"},
       {{u"&Open\tCtrl+O", u"\u00D6&ffnen Strg+O"}},
       kMenu + "item 100: tab-lost: the shortcut after the tab is gone\n"},
      {"tab added",
       Kind::menu,
       {u"&Open"},
       {{u"&Open", u"\u00D6&ffnen\tF3"}},
       kMenu + "item 100: tab-added: the translation has a tab, the source "
               "none\n"},
      // Endings, blanks and line breaks.
      {"ellipsis either way",
       Kind::menu,
       {u"&Open..."},
       {{u"&Open...", u"\u00D6&ffnen\u2026"}},
       ""},
      {"ellipsis lost",
       Kind::menu,
       {u"&Open..."},
       {{u"&Open...", u"\u00D6&ffnen"}},
       kMenu + "item 100: ending: the source ends in an ellipsis, the "
               "translation in no punctuation\n"},
      {"colon added",
       Kind::dialog,
       {u"&Name"},
       {{u"&Name", u"&Nom :"}},
       kDialog + "control 1: ending: the source ends in no punctuation, the "
                 "translation in a colon\n"},
      {"full stop lost",
       Kind::strings,
       {u"Done."},
       {{u"Done.", u"Fertig"}},
       kString + "string 0: ending: the source ends in a full stop, the "
                 "translation in no punctuation\n"},
      {"trailing blank lost",
       Kind::dialog,
       {u"&Name "},
       {{u"&Name ", u"&Nom"}},
       kDialog + "control 1: space: the trailing blanks differ\n"},
      {"leading blank added",
       Kind::strings,
       {u"Done"},
       {{u"Done", u" Fertig"}},
       kString + "string 0: space: the leading blanks differ\n"},
      {"line breaks",
       Kind::strings,
       {u"One\r\nTwo"},
       {{u"One\r\nTwo", u"Eins Zwei"}},
       kString + "string 0: line-breaks: 0 line breaks, the source has 1\n"},
      // printf conversions in string tables.
      {"printf kept, d as i",
       Kind::strings,
       {u"%d of %s files"},
       {{u"%d of %s files", u"%i von %s Dateien"}},
       ""},
      {"printf dropped at the end",
       Kind::strings,
       {u"%d of %s files"},
       {{u"%d of %s files", u"%d Dateien"}},
       kString + "string 0: placeholder-dropped: the translation leaves out "
                 "a placeholder of the source\n"},
      {"printf reordered: refused",
       Kind::strings,
       {u"%d of %s files"},
       {{u"%d of %s files", u"%s: %d Dateien"}},
       kString + "string 0: placeholders: not applied: its placeholders "
                 "differ from the source's\n",
       1},
      {"printf wide string: refused",
       Kind::strings,
       {u"Open %s"},
       {{u"Open %s", u"%ls \u00F6ffnen"}},
       kString + "string 0: placeholders: not applied: its placeholders "
                 "differ from the source's\n",
       1},
      {"printf star width counts",
       Kind::strings,
       {u"%*d items"},
       {{u"%*d items", u"%d Posten"}},
       kString + "string 0: placeholders: not applied: its placeholders "
                 "differ from the source's\n",
       1},
      {"percent signs are no conversions",
       Kind::strings,
       {u"100%% sure"},
       {{u"100%% sure", u"100%% sicher"}},
       ""},
      // Inserts in string tables and message tables.
      {"inserts reordered in a string",
       Kind::strings,
       {u"Copy %1 to %2"},
       {{u"Copy %1 to %2", u"%2 nach %1 kopieren"}},
       ""},
      {"unknown insert in a string: refused",
       Kind::strings,
       {u"Copy %1"},
       {{u"Copy %1", u"%1 nach %2 kopieren"}},
       kString + "string 0: placeholders: not applied: its placeholders "
                 "differ from the source's\n",
       1},
      {"message inserts reordered",
       Kind::messages,
       {u"Cannot copy %1 to %2!d!.\r\n"},
       {{u"Cannot copy %1 to %2!d!.", u"%2!d! kann %1 nicht aufnehmen."}},
       ""},
      {"message insert format changed: refused",
       Kind::messages,
       {u"Cannot copy %1 to %2!d!.\r\n"},
       {{u"Cannot copy %1 to %2!d!.", u"%1 kann nicht nach %2 kopieren."}},
       kMessage + "message 0x00000001: placeholders: not applied: its "
                  "placeholders differ from the source's\n",
       1},
      {"message insert dropped",
       Kind::messages,
       {u"Cannot copy %1 to %2.\r\n"},
       {{u"Cannot copy %1 to %2.", u"%1 kann nicht kopiert werden."}},
       kMessage + "message 0x00000001: placeholder-dropped: the translation "
                  "leaves out a placeholder of the source\n"},
      {"message escapes are no inserts",
       Kind::messages,
       {u"Done%n%%%0\r\n"},
       {{u"Done%n%%%0", u"Fertig%n%%%0"}},
       ""},
      {"message printf is not read",
       Kind::messages,
       {u"%d files\r\n"},
       {{u"%d files", u"%s Dateien"}},
       ""},
  };
}

class CheckTest : public E2eTest {};

// Every row runs three times: without --check (only refusals show), with
// it (each finding on standard error, status 4), and the images written
// are the same.
TEST_F(CheckTest, EveryCheckFiresAndStaysQuiet) {
  for (const CheckCase& c : check_cases()) {
    SCOPED_TRACE(c.label);
    clear();
    const ResourceImage input = make_resource_image(tree_of(c.kind, c.texts));
    write("list.po", catalogue(c.pairs));
    write("app.exe", input.image.bytes);
    const std::string refusal =
        c.refused == 0 ? ""
                       : "uitrans: app.exe: " + std::to_string(c.refused) +
                             " translation refused (placeholders differ from "
                             "the source)\n";
    const RunResult plain = run({"--all-texts", "list.po", "app.exe"}, kNoisy);
    EXPECT_EQ(plain.status, 0);
    EXPECT_EQ(plain.err, refusal);
    const Bytes plain_output = read("app.exe");
    write("app.exe", input.image.bytes);
    const RunResult checked =
        run({"--check", "--all-texts", "list.po", "app.exe"}, kNoisy);
    std::string expected = refusal;
    for (size_t start = 0; start < c.findings.size();) {
      size_t end = c.findings.find('\n', start) + 1;
      expected += "app.exe: " + c.findings.substr(start, end - start);
      start = end;
    }
    EXPECT_EQ(checked.err, expected);
    EXPECT_EQ(checked.status, c.findings.empty() ? 0 : 4);
    EXPECT_EQ(checked.out, plain.out);
    EXPECT_BYTES(read("app.exe"), plain_output);
    if (c.refused > 0) {
      EXPECT_EQ(plain.out, "No strings found to replace in app.exe.\n");
      EXPECT_BYTES(plain_output, input.image.bytes);
    }
  }
}

TEST_F(CheckTest, ReportOfACheckedRunHasWarningRowsAndACheckColumn) {
  const ResourceImage input = make_resource_image(
      tree_of(Kind::strings, {u"%d of %s files", u"Done.", u"Open"}));
  write("list.txt", make_pair_list({{u"%d of %s files", u"%s: %d Dateien"},
                                    {u"Done.", u"Fertig"},
                                    {u"Unused", u"Nie"}}));
  write("app.exe", input.image.bytes);
  const RunResult result = run({"--check", "--string-tables", "--report",
                                "r.tsv", "list.txt", "app.exe"},
                               kNoisy);
  EXPECT_EQ(result.status, 4);
  EXPECT_EQ(result.out, "1 strings replaced in app.exe.\n");
  const Bytes report = read("r.tsv");
  const std::string head = "\tapp.exe\tSTRING\t1\t0409\t";
  EXPECT_EQ(
      std::string(report.begin(), report.end()),
      "status\texecutable\ttype\tname\tlanguage\tplace\tbefore\tafter"
      "\tline\tcheck\n"
      "refused" +
          head + "string 0\t%d of %s files\t%s: %d Dateien\t1\t\n" + "warning" +
          head + "string 0\t%d of %s files\t%s: %d Dateien\t1\tplaceholders\n" +
          "replaced" + head + "string 1\tDone.\tFertig\t3\t\n" + "warning" +
          head + "string 1\tDone.\tFertig\t3\tending\n" + "kept" + head +
          "string 2\tOpen\t\t\t\n" + "unused\t\t\t\t\t\tUnused\tNie\t5\t\n");
  // Without --check the report keeps its columns; the refusal shows.
  write("app.exe", input.image.bytes);
  const RunResult plain = run(
      {"--string-tables", "--report", "r.tsv", "list.txt", "app.exe"}, kNoisy);
  EXPECT_EQ(plain.status, 0);
  EXPECT_EQ(plain.err,
            "uitrans: app.exe: 1 translation refused (placeholders differ "
            "from the source)\n");
  const Bytes plain_report = read("r.tsv");
  EXPECT_EQ(std::string(plain_report.begin(), plain_report.end()),
            "status\texecutable\ttype\tname\tlanguage\tplace\tbefore\tafter"
            "\tline\n"
            "refused" +
                head + "string 0\t%d of %s files\t%s: %d Dateien\t1\n" +
                "replaced" + head + "string 1\tDone.\tFertig\t3\n" + "kept" +
                head + "string 2\tOpen\t\t\n" +
                "unused\t\t\t\t\t\tUnused\tNie\t5\n");
}

TEST_F(CheckTest, ACheckedRunWithoutFindingsIsAPlainRun) {
  const ResourceImage input =
      make_resource_image(one_menu_tree(sample_menu(u"&Open", u"&About")));
  write("list.txt", make_pair_list({{u"&Open", u"&Load"}}));
  write("app.exe", input.image.bytes);
  const RunResult checked =
      run({"--check", "--dry-run", "list.txt", "app.exe"});
  EXPECT_EQ(checked.status, 0);
  EXPECT_EQ(checked.out, "1 strings replaced in app.exe.\n");
  EXPECT_BYTES(read("app.exe"), input.image.bytes);
}

TEST_F(CheckTest, OptionsBelongToTheirRuns) {
  const RunResult check = run({"--extract", "--check", "app.exe"}, kNoisy);
  EXPECT_EQ(check.status, 1);
  EXPECT_EQ(check.err,
            "uitrans: --check belongs to translation runs (see uitrans "
            "--help)\n");
  const RunResult pseudo = run({"--pseudo", "list.txt", "app.exe"}, kNoisy);
  EXPECT_EQ(pseudo.status, 1);
  EXPECT_EQ(pseudo.err,
            "uitrans: --pseudo belongs to --extract (see uitrans --help)\n");
}

// An application with a text of every kind the checks look at.
ResourceTreeSpec pseudo_app() {
  testsupport::DialogSpec dialog;
  dialog.style |= testsupport::kDsSetFont;
  dialog.title = u"Options";
  dialog.typeface = u"MS Shell Dlg";
  for (const char16_t* text : {u"&Name:", u"&Value ", u"Save && &quit"}) {
    testsupport::DialogControl control;
    control.id = static_cast<uint32_t>(dialog.controls.size() + 1);
    control.title = testsupport::text_field(text);
    // Room for the longer pseudo texts, one control under the other.
    control.rect[1] = static_cast<uint16_t>(6 + 16 * dialog.controls.size());
    control.rect[2] = 120;
    dialog.controls.push_back(control);
  }
  ResourceTreeSpec tree;
  tree.types.push_back(
      {rid(4),
       {{rid(1),
         {{0x409, menu_of({u"&Open...\tCtrl+O", u"&Save", u"E&xit"})}}}}});
  tree.types.push_back(
      {rid(5), {{rid(9), {{0x409, testsupport::make_dialog(dialog)}}}}});
  tree.types.push_back(
      {rid(6),
       {{rid(1),
         {{0x409,
           string_block({u"%d of %s files", u"Copy %1 to %2!d!.", u"One\r\nTwo",
                         u"100%% sure",
                         u"A longer text of about forty characters."})}}}}});
  tree.types.push_back(
      {rid(kMessageTableType),
       {{rid(1),
         {{0x409, message_table({u"Cannot open %1.%nTry again.\r\n",
                                 u"Done: %2!d! of %1\r\n"})}}}}});
  return tree;
}

TEST_F(CheckTest, PseudoTemplatesKeepWhatProgramsRelyOn) {
  const ResourceImage input = make_resource_image(pseudo_app());
  write("app.exe", input.image.bytes);
  const RunResult first =
      run({"--extract", "--pseudo", "--all-texts", "app.exe"}, kNoisy);
  const RunResult again =
      run({"--extract", "--pseudo", "--all-texts", "app.exe"}, kNoisy);
  EXPECT_EQ(first.status, 0);
  EXPECT_EQ(first.out, again.out);
  const Bytes list(first.out.begin(), first.out.end());
  auto pair = [](const std::u16string& text, const std::u16string& pseudo) {
    Bytes bytes;
    append_text(bytes, text + u"\r\n" + pseudo + u"\r\n\r\n");
    return std::string(bytes.begin(), bytes.end());
  };
  const std::vector<std::string> expected = {
      pair(u"&File", u"[&Fíĺé~~~]"),
      pair(u"&Open...\tCtrl+O", u"[&Oþéñ~~~]...\tCtrl+O"),
      pair(u"E&xit", u"[É&xíţ~~~]"),
      pair(u"MS Shell Dlg", u"MS Shell Dlg"),
      pair(u"&Name:", u"[&Náṁé~~~]:"),
      pair(u"&Value ", u"[&Váĺüé~~~~] "),
      pair(u"Save && &quit", u"[Šáṽé && &qüíţ~~~~~~~~~]"),
      pair(u"%d of %s files", u"[%d öƒ %s ƒíĺéš~~~~~~~~~~]"),
      pair(u"Copy %1 to %2!d!.", u"[Çöþý %1 ţö %2!d!~~~~~~~~~~~]."),
      pair(u"A longer text of about forty characters.",
           u"[Å ĺöñğéŕ ţéẋţ öƒ áƀöüţ ƒöŕţý çĥáŕáçţéŕš~~~~~~~~~~~~~~]."),
      pair(u"Done: %2!d! of %1", u"[Đöñé: %2!d! öƒ %1~~~~~~~~~~~~]"),
  };
  for (const std::string& piece : expected) {
    EXPECT_NE(first.out.find(piece), std::string::npos)
        << "missing: " << piece.size();
  }
}

TEST_F(CheckTest, APseudoTranslatedProgramPassesEveryCheck) {
  const ResourceImage input = make_resource_image(pseudo_app());
  write("app.exe", input.image.bytes);
  ASSERT_EQ(run({"--extract", "--po", "--pseudo", "--all-texts", "-o",
                 "pseudo.po", "app.exe"},
                kNoisy)
                .status,
            0);
  const RunResult result = run(
      {"--check", "--all-texts", "--report", "r.tsv", "pseudo.po", "app.exe"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "");
  const Bytes report = read("r.tsv");
  const std::string text(report.begin(), report.end());
  EXPECT_EQ(text.find("warning\t"), std::string::npos);
  EXPECT_EQ(text.find("refused\t"), std::string::npos);
  EXPECT_EQ(text.find("kept\t"), std::string::npos) << text;
  EXPECT_EQ(text.find("unused\t"), std::string::npos) << text;
  EXPECT_NE(text.find("\tOne\\r\\nTwo\t[Öñé\\r\\nŢŵö~~~~~~]\t"),
            std::string::npos)
      << text;
}

}  // namespace
}  // namespace e2e
