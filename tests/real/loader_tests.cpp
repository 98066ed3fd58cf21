// SPDX-License-Identifier: MIT
// Loader checks: the probe (probe.c, a Windows program run under wine) maps
// an original fixture and its translated copy and prints their menus,
// dialogs, string tables, version information and messages as the Windows
// API builds them. The printouts must differ exactly by the listed texts,
// and a list template extracted from a fixture must hold exactly the texts
// the loader shows. The translated 64-bit programs must still start. The
// fixtures cover the toolchain's layouts: resources rewritten in place, grown
// in the file only, grown in memory with .reloc (and, unstripped, the debug
// sections) moved up behind them, and grown as the last section. The probe
// maps each as an image, so a section table or image size that does not hold
// together makes it fail to load.
//
// These tests need the wine prefix set up by scripts/wine_env.sh, with the
// desktop held up by the probe (CTest does it as a fixture), and run under
// the label "loader".
#include <gtest/gtest.h>

#include <cstdio>
#include <iostream>
#include <map>
#include <optional>
#include <set>
#include <sstream>

#include "driver/language_tags.h"
#include "real/real_support.h"

namespace {

using real::Bytes;

// Runs a Windows program in the prefix of scripts/wine_env.sh. A run that
// failed without printing anything to standard output most likely never
// reached the program: wine failed to start it (seen now and then under
// load), and it runs once more. A program that fails by itself fails the
// same way again.
testsupport::RunResult run_wine(const std::vector<std::string>& args,
                                const std::string& cwd) {
  std::vector<std::string> command = {
      "WINEPREFIX=" UITRANS_WINE_PREFIX, "WINEDEBUG=-all",
      "WINEDLLOVERRIDES=mscoree,mshtml=", UITRANS_WINE};
  command.insert(command.end(), args.begin(), args.end());
  testsupport::RunOptions options;
  options.cwd = cwd;
  testsupport::RunResult run =
      testsupport::run_program("/usr/bin/env", command, options);
  if (!(run.exited && run.status == 0) && run.out.empty()) {
    run = testsupport::run_program("/usr/bin/env", command, options);
  }
  return run;
}

// The probe's printout for `args`; fails the test when the probe fails.
std::string run_probe(const std::vector<std::string>& args) {
  std::vector<std::string> command = {UITRANS_PROBE};
  command.insert(command.end(), args.begin(), args.end());
  testsupport::RunResult run = run_wine(command, "");
  EXPECT_TRUE(run.exited && run.status == 0)
      << args.back() << (run.exited ? " exited " : " killed ") << run.status
      << "\n"
      << run.out << run.err;
  return run.out;
}

std::string probe(const std::string& target) { return run_probe({target}); }

struct Fixture {
  const char* name;
  bool grown;  // the translation grows the resource section in the file
};

const Fixture kFixtures[] = {
    {"app64.exe", false},      {"app32.exe", false},
    {"app64_grown.exe", true}, {"app64_shift.exe", true},
    {"app32_shift.exe", true}, {"app64_debug.exe", true},
    {"app64_last.exe", true},
};

void PrintTo(const Fixture& fixture, std::ostream* out) {
  *out << fixture.name;
}

std::string test_name(const ::testing::TestParamInfo<Fixture>& info) {
  std::string name = info.param.name;
  return name.substr(0, name.find('.'));
}

// Runs the tool in `dir`.
testsupport::RunResult run_tool(const testsupport::TempDir& dir,
                                const std::vector<std::string>& args) {
  testsupport::RunOptions options;
  options.cwd = dir.path;
  options.allow_stderr = true;
  return testsupport::run_program(UITRANS_BINARY, args, options);
}

// Runs the tool on a copy of the fixture `name` in `dir` with `list`,
// string tables translated too when `string_tables`.
testsupport::RunResult translate(const testsupport::TempDir& dir,
                                 const std::string& name, const Bytes& list,
                                 bool string_tables) {
  testsupport::write_file(dir.file(name),
                          *testsupport::read_file(real::fixture_path(name)));
  testsupport::write_file(dir.file("list.txt"), list);
  std::vector<std::string> args = {"list.txt", name};
  if (string_tables) args.insert(args.begin(), "--string-tables");
  return run_tool(dir, args);
}

// Translates a copy of the fixture in `dir` with the fixture list.
void translate(const testsupport::TempDir& dir, const Fixture& fixture,
               bool string_tables = false) {
  const int hits =
      real::kFixtureHits + (string_tables ? real::kFixtureStringHits : 0);
  testsupport::RunResult run =
      translate(dir, fixture.name,
                real::list_file(real::fixture_translations()), string_tables);
  ASSERT_EQ(run.out,
            real::translation_report(fixture.name, hits, fixture.grown));
}

// The lines of a list template (byte-order mark, CR LF line ends).
std::vector<std::u16string> template_lines(const Bytes& bytes) {
  std::vector<std::u16string> lines(1);
  for (size_t at = 2; at + 1 < bytes.size(); at += 2) {
    const char16_t unit = static_cast<char16_t>(bytes[at] | bytes[at + 1] << 8);
    lines.back() += unit;
    if (lines.back().size() >= 2 && lines.back().ends_with(u"\r\n")) {
      lines.back().resize(lines.back().size() - 2);
      lines.emplace_back();
    }
  }
  return lines;
}

Bytes template_bytes(const std::vector<std::u16string>& lines) {
  Bytes bytes = {0xFF, 0xFE};
  for (size_t i = 0; i < lines.size(); ++i) {
    testsupport::append_text(bytes, lines[i]);
    if (i + 1 < lines.size()) testsupport::append_text(bytes, u"\r\n");
  }
  return bytes;
}

std::set<std::string> readable(const std::set<std::u16string>& texts) {
  std::set<std::string> out;
  for (const std::u16string& text : texts) out.insert(real::probe_escape(text));
  return out;
}

class LoaderCheck : public ::testing::TestWithParam<Fixture> {
 protected:
  testsupport::TempDir dir;
};

TEST_P(LoaderCheck, ExactlyTheListedTextsChange) {
  const std::string name = GetParam().name;
  const std::string original = probe(real::fixture_path(name));
  // Every menu and dialog of the fixture is built by the loader.
  EXPECT_EQ(original.find("failed"), std::string::npos) << original;
  EXPECT_NE(original.find("dialog #300"), std::string::npos);
  const std::string expected =
      real::translate_printout(original, real::fixture_translations(), false);
  ASSERT_NE(expected, original);

  translate(dir, GetParam());
  EXPECT_EQ(probe(dir.file(name)), expected);
}

TEST_P(LoaderCheck, WithStringTablesTheListedStringsChangeToo) {
  const std::string name = GetParam().name;
  const std::string original = probe(real::fixture_path(name));
  EXPECT_NE(original.find("string id=3 lang=0409 text=\"Recent &Files\""),
            std::string::npos);
  const std::string expected =
      real::translate_printout(original, real::fixture_translations(), true);
  ASSERT_NE(expected, real::translate_printout(
                          original, real::fixture_translations(), false));

  translate(dir, GetParam(), true);
  EXPECT_EQ(probe(dir.file(name)), expected);
}

// Extraction lists the texts the loader shows, each once, and no other.
TEST_P(LoaderCheck, ExtractionListsExactlyWhatTheLoaderShows) {
  const std::string name = GetParam().name;
  const std::string original = probe(real::fixture_path(name));
  for (bool string_tables : {false, true}) {
    SCOPED_TRACE(string_tables ? "with string tables" : "menus and dialogs");
    std::vector<std::string> args = {"--extract", real::fixture_path(name)};
    if (string_tables) args.insert(args.begin() + 1, "--string-tables");
    const testsupport::RunResult run = run_tool(dir, args);
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<std::u16string> lines =
        template_lines(Bytes(run.out.begin(), run.out.end()));
    std::set<std::u16string> listed;
    for (size_t i = 0; i + 2 < lines.size(); i += 3) {
      EXPECT_EQ(lines[i + 1], lines[i]);
      EXPECT_EQ(lines[i + 2], u"");
      EXPECT_TRUE(listed.insert(lines[i]).second) << real::utf8(lines[i]);
    }
    EXPECT_EQ(readable(listed),
              readable(real::printout_texts(original, string_tables)));
  }
}

// Extract, change every second line, translate: the loader shows every
// text changed, and no text it shows is left as it was.
TEST_P(LoaderCheck, ExtractedTemplateEditedChangesEveryText) {
  const std::string name = GetParam().name;
  const std::string original = probe(real::fixture_path(name));
  ASSERT_EQ(run_tool(dir, {"--extract", "--string-tables", "-o", "list.txt",
                           real::fixture_path(name)})
                .status,
            0);
  std::vector<std::u16string> lines =
      template_lines(*testsupport::read_file(dir.file("list.txt")));
  std::vector<real::Translation> edits;
  std::set<std::u16string> changed;
  for (size_t i = 1; i < lines.size(); i += 3) {
    lines[i] += u" X";
    edits.push_back({lines[i - 1], lines[i]});
    changed.insert(lines[i]);
  }
  const testsupport::RunResult run =
      translate(dir, name, template_bytes(lines), true);
  ASSERT_EQ(run.status, 0) << run.out;
  const std::string after = probe(dir.file(name));
  EXPECT_EQ(after, real::translate_printout(original, edits, true));
  EXPECT_EQ(readable(real::printout_texts(after, true)), readable(changed));
}

// A pseudo-localised program: the template's pseudo-translations applied,
// the loader shows every text changed as the template says, with mnemonics,
// shortcuts and placeholders kept, and --check finds nothing but texts that
// no longer fit their controls, which is what pseudo-localisation is for.
TEST_P(LoaderCheck, PseudoLocalisedProgramShowsEveryTextChanged) {
  const std::string name = GetParam().name;
  const std::string original = probe(real::fixture_path(name));
  ASSERT_EQ(run_tool(dir, {"--extract", "--pseudo", "--string-tables", "-o",
                           "pseudo.txt", real::fixture_path(name)})
                .status,
            0);
  std::vector<std::u16string> lines =
      template_lines(*testsupport::read_file(dir.file("pseudo.txt")));
  std::vector<real::Translation> edits;
  for (size_t i = 1; i < lines.size(); i += 3) {
    // Only typefaces stay as they are: the face a dialog names.
    if (lines[i] == lines[i - 1]) {
      EXPECT_NE(original.find("face=\"" + real::probe_escape(lines[i]) + "\""),
                std::string::npos)
          << real::probe_escape(lines[i]);
    }
    EXPECT_EQ(lines[i - 1].find(u'&') == std::u16string::npos,
              lines[i].find(u'&') == std::u16string::npos);
    edits.push_back({lines[i - 1], lines[i]});
  }
  testsupport::write_file(dir.file(name),
                          *testsupport::read_file(real::fixture_path(name)));
  const testsupport::RunResult run =
      run_tool(dir, {"--check", "--string-tables", "pseudo.txt", name});
  EXPECT_EQ(probe(dir.file(name)),
            real::translate_printout(original, edits, true));
  for (const std::string& line : real::lines_of(run.err)) {
    EXPECT_TRUE(line.find(": fit: ") != std::string::npos ||
                line.find(": overlap: ") != std::string::npos)
        << line;
  }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, LoaderCheck, ::testing::ValuesIn(kFixtures),
                         test_name);

// Only the 64-bit programs: 32-bit programs cannot run as processes here.
class TranslatedProgram : public ::testing::TestWithParam<Fixture> {};

TEST_P(TranslatedProgram, StillStarts) {
  testsupport::TempDir dir;
  translate(dir, GetParam());
  const std::string program = dir.file(GetParam().name);
  testsupport::RunResult quick = run_wine({program, "exit"}, dir.path);
  EXPECT_TRUE(quick.exited && quick.status == 0) << quick.err;
  // The running image finds its own menus and dialogs.
  testsupport::RunResult check = run_wine({program, "--check"}, dir.path);
  EXPECT_TRUE(check.exited && check.status == 0) << check.err;
}

INSTANTIATE_TEST_SUITE_P(Fixtures, TranslatedProgram,
                         ::testing::Values(kFixtures[0], kFixtures[2],
                                           kFixtures[3], kFixtures[5],
                                           kFixtures[6]),
                         test_name);

// Both fixtures come from one resource script: the loader must build the
// same menus and dialogs from the 32-bit and the 64-bit image.
TEST(LoaderFixtures, BothWordSizesPrintAlike) {
  EXPECT_EQ(probe(real::fixture_path("app32.exe")),
            probe(real::fixture_path("app64.exe")));
}

// The fixture's version information and messages as the loader reads them:
// a version resource and a message table per language, German first (the
// resource directory lists languages by id). The English messages are
// Unicode entries, the German ones ANSI entries in code page 1252, which
// FormatMessageW converts. Without --all-texts the tool leaves both kinds
// alone, so the checks above find these lines unchanged in every
// translated copy; with it, the loader reads exactly the translated texts.
TEST(LoaderFixtures, VersionInformationAndMessagesAreRead) {
  const std::vector<std::string> expected = {
      "version #1 lang=0407 file=1.0.0.0 product=1.0.0.0",
      "version #1 lang=0407 translation=040704B0",
      "version #1 lang=0407 block=040704B0 key=CompanyName "
      "text=\"Die uitrans-Entwickler\"",
      "version #1 lang=0407 block=040704B0 key=FileDescription "
      "text=\"uitrans-Testprogramm\"",
      "version #1 lang=0407 block=040704B0 key=FileVersion text=\"1.0.0.0\"",
      "version #1 lang=0407 block=040704B0 key=InternalName text=\"app\"",
      "version #1 lang=0407 block=040704B0 key=LegalCopyright "
      "text=\"Copyright (C) 2026 Die uitrans-Entwickler\"",
      "version #1 lang=0407 block=040704B0 key=OriginalFilename "
      "text=\"app.exe\"",
      "version #1 lang=0407 block=040704B0 key=ProductName text=\"uitrans\"",
      "version #1 lang=0407 block=040704B0 key=ProductVersion text=\"1.0\"",
      "version #1 lang=0407 block=040704B0 key=Comments "
      "text=\"Ein kleines Programm f\u00FCr \u00DCbersetzungstests\"",
      "version #1 lang=0409 file=1.0.0.0 product=1.0.0.0",
      "version #1 lang=0409 translation=040904B0",
      "version #1 lang=0409 block=040904B0 key=CompanyName "
      "text=\"The uitrans developers\"",
      "version #1 lang=0409 block=040904B0 key=FileDescription "
      "text=\"uitrans test fixture\"",
      "version #1 lang=0409 block=040904B0 key=FileVersion text=\"1.0.0.0\"",
      "version #1 lang=0409 block=040904B0 key=InternalName text=\"app\"",
      "version #1 lang=0409 block=040904B0 key=LegalCopyright "
      "text=\"Copyright (C) 2026 The uitrans developers\"",
      "version #1 lang=0409 block=040904B0 key=OriginalFilename "
      "text=\"app.exe\"",
      "version #1 lang=0409 block=040904B0 key=ProductName text=\"uitrans\"",
      "version #1 lang=0409 block=040904B0 key=ProductVersion text=\"1.0\"",
      "version #1 lang=0409 block=040904B0 key=Comments "
      "text=\"A small program for translation tests\"",
      "message id=0x40000001 lang=0407 text=\"Dienst %1 installiert.\\r\\n\"",
      "message id=0x40000002 lang=0407 "
      "text=\"%1 von %2 Dateien kopiert.\\r\\n\"",
      "message id=0x40000003 lang=0407 "
      "text=\"Einstellungen in %1 gespeichert.\\r\\n\"",
      "message id=0x80000010 lang=0407 "
      "text=\"Nur noch %2!u! MB frei auf Laufwerk %1.\\r\\n\"",
      "message id=0xC0000100 lang=0407 text=\"Die Datei %1 konnte nicht "
      "ge\u00F6ffnet werden: %2!s!\\r\\n\"",
      "message id=0xC0000101 lang=0407 text=\"Die Einstellungen konnten "
      "nicht gespeichert werden.\\r\\nPr\u00FCfen Sie, ob %1 beschreibbar "
      "ist.\\r\\n\"",
      "message id=0x40000001 lang=0409 text=\"Service %1 installed.\\r\\n\"",
      "message id=0x40000002 lang=0409 text=\"%1 of %2 files copied.\\r\\n\"",
      "message id=0x40000003 lang=0409 text=\"Settings saved to %1.\\r\\n\"",
      "message id=0x80000010 lang=0409 "
      "text=\"Only %2!u! MB left on drive %1.\\r\\n\"",
      "message id=0xC0000100 lang=0409 "
      "text=\"The file %1 could not be opened: %2!s!\\r\\n\"",
      "message id=0xC0000101 lang=0409 text=\"The settings could not be "
      "saved.\\r\\nCheck that %1 is writable.\\r\\n\"",
  };
  // Translated: values and messages made longer, shorter and kept; the
  // German ANSI message into Cyrillic, which code page 1252 cannot hold.
  const std::vector<std::pair<std::u16string, std::u16string>> pairs = {
      {u"uitrans test fixture",
       u"Ein Testprogramm f\u00FCr uitrans, l\u00E4nger als zuvor"},
      {u"A small program for translation tests", u"Klein"},
      {u"Service %1 installed.", u"Der Dienst %1 wurde installiert."},
      {u"%1 of %2 files copied.", u"%1/%2."},
      {u"Dienst %1 installiert.", u"\u0421\u043B\u0443\u0436\u0431\u0430 %1."},
  };
  const std::vector<std::pair<std::string, std::string>> changes = {
      {"text=\"uitrans test fixture\"",
       "text=\"Ein Testprogramm f\u00FCr uitrans, l\u00E4nger als zuvor\""},
      {"text=\"A small program for translation tests\"", "text=\"Klein\""},
      {"text=\"Service %1 installed.\\r\\n\"",
       "text=\"Der Dienst %1 wurde installiert.\\r\\n\""},
      {"text=\"%1 of %2 files copied.\\r\\n\"", "text=\"%1/%2.\\r\\n\""},
      {"text=\"Dienst %1 installiert.\\r\\n\"",
       "text=\"\u0421\u043B\u0443\u0436\u0431\u0430 %1.\\r\\n\""},
  };
  std::vector<std::string> translated = expected;
  for (std::string& line : translated) {
    for (const auto& [before, after] : changes) {
      size_t at = line.find(before);
      if (at != std::string::npos) line.replace(at, before.size(), after);
    }
  }
  // The version and message lines of a printout, and the others.
  auto split = [](const std::string& printout, std::string* others) {
    std::vector<std::string> lines;
    for (const std::string& line : real::lines_of(printout)) {
      if (line.starts_with("version ") || line.starts_with("message")) {
        lines.push_back(line);
      } else {
        *others += line + "\n";
      }
    }
    return lines;
  };
  for (const char* name : {"app64.exe", "app32.exe"}) {
    SCOPED_TRACE(name);
    std::string original_others;
    EXPECT_EQ(split(probe(real::fixture_path(name)), &original_others),
              expected);
    testsupport::TempDir dir;
    testsupport::write_file(dir.file(name),
                            *testsupport::read_file(real::fixture_path(name)));
    testsupport::write_file(dir.file("list.txt"),
                            testsupport::make_pair_list(pairs));
    const std::string out =
        run_tool(dir, {"--all-texts", "list.txt", name}).out;
    EXPECT_TRUE(out.starts_with("5 strings replaced in " + std::string(name)))
        << out;
    std::string others;
    EXPECT_EQ(split(probe(dir.file(name)), &others), translated);
    EXPECT_EQ(others, original_others);
  }
}

// The translations of a catalogue as gettext's msgexec prints them with
// its builtin command "0": UTF-8, each followed by a zero byte. The header
// entry's is left out.
std::vector<std::u16string> catalogue_texts(const std::string& printed) {
  std::vector<std::u16string> texts;
  std::u16string text;
  for (size_t i = 0; i < printed.size();) {
    uint32_t c = static_cast<uint8_t>(printed[i]);
    size_t length = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    if (length > 1) c &= 0x7Fu >> length;
    for (size_t k = 1; k < length && i + k < printed.size(); ++k) {
      c = c << 6 | (static_cast<uint8_t>(printed[i + k]) & 0x3Fu);
    }
    i += length;
    if (c >= 0x10000) {
      text += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      text += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else if (c != 0) {
      text += static_cast<char16_t>(c);
    } else {
      if (text.find(u"Content-Type:") == std::u16string::npos) {
        texts.push_back(text);
      }
      text.clear();
    }
  }
  return texts;
}

// The gettext round trip: a template of the fixture's texts, a catalogue
// made from it by gettext's own tools with every text marked (the filter
// puts a ~ at the start of each line of each text), applied to the program:
// the loader shows every changed text.
void gettext_round_trip(const char* contexts) {
  for (const char* tool :
       {"/usr/bin/msgfmt", "/usr/bin/msginit", "/usr/bin/msgen",
        "/usr/bin/msgfilter", "/usr/bin/msgexec"}) {
    if (!testsupport::file_exists(tool)) GTEST_SKIP() << "needs gettext";
  }
  testsupport::TempDir dir;
  const std::string name = "app64.exe";
  testsupport::write_file(dir.file(name),
                          *testsupport::read_file(real::fixture_path(name)));
  testsupport::RunOptions in_dir;
  in_dir.cwd = dir.path;
  auto run = [&](const std::string& program,
                 const std::vector<std::string>& args) {
    testsupport::RunResult result =
        testsupport::run_program(program, args, in_dir);
    EXPECT_TRUE(result.exited && result.status == 0)
        << program << " " << args[0] << "\n"
        << result.err;
    return result;
  };
  run(UITRANS_BINARY, {"--extract", "--po", contexts, "-o", "app.pot", name});
  run("/usr/bin/msgfmt",
      {"--check-format", "--check-header", "-o", "/dev/null", "app.pot"});
  run("/usr/bin/msginit",
      {"--no-translator", "--locale=de", "-i", "app.pot", "-o", "new.po"});
  run("/usr/bin/msgen", {"-o", "filled.po", "new.po"});
  run("/usr/bin/msgfilter", {"--keep-header", "-i", "filled.po", "-o", "de.po",
                             "sed", "-e", "s/^/~/"});

  std::vector<real::Translation> translations;
  for (const std::u16string& text :
       catalogue_texts(run("/usr/bin/msgexec", {"-i", "filled.po", "0"}).out)) {
    std::u16string marked(1, u'~');
    marked += text;
    size_t at = 0;
    while ((at = marked.find(u'\n', at)) != std::u16string::npos &&
           at + 1 < marked.size()) {
      marked.insert(at + 1, 1, u'~');
      at += 2;
    }
    translations.push_back({text, marked});
  }
  ASSERT_GT(translations.size(), 20u);
  const std::string original = probe(real::fixture_path(name));
  const std::string expected =
      real::translate_printout(original, translations, false);
  // The About dialog's text with a line break goes through the catalogue.
  EXPECT_NE(expected.find("text=\"~A small program\\n~for the tests\""),
            std::string::npos)
      << expected;

  const testsupport::RunResult applied = run(UITRANS_BINARY, {"de.po", name});
  EXPECT_NE(applied.out.find(" strings replaced in app64.exe.\n"),
            std::string::npos)
      << applied.out;
  EXPECT_EQ(probe(dir.file(name)), expected);
}

// With contexts by place, every text has an entry of its own: the
// catalogue made from such a template changes the same texts.
TEST(LoaderFixtures, GettextRoundTripChangesEveryText) {
  for (const char* contexts : {"--contexts=none", "--contexts=place"}) {
    SCOPED_TRACE(contexts);
    gettext_round_trip(contexts);
  }
}

// A catalogue recovered from a fixture and its translated copy, applied to
// the fixture: the loader shows the copy's texts. Creation data holds no
// place a template lists, so its text stays out of the list.
TEST(LoaderFixtures, RecoveredCatalogueShowsTheTranslatedTexts) {
  const std::string name = "app64.exe";
  testsupport::TempDir dir;
  const Bytes original = *testsupport::read_file(real::fixture_path(name));
  testsupport::write_file(dir.file("de.exe"), original);
  testsupport::write_file(dir.file(name), original);
  std::vector<real::Translation> translations = real::fixture_translations();
  std::erase_if(translations, [](const real::Translation& translation) {
    return translation.find == u"Hidden";
  });
  testsupport::write_file(dir.file("list.txt"), real::list_file(translations));
  ASSERT_EQ(run_tool(dir, {"list.txt", "de.exe"}).status, 0);
  ASSERT_EQ(run_tool(dir, {"--extract", "--po", "--translations-from", "de.exe",
                           "-o", "de.po", name})
                .status,
            0);
  const testsupport::RunResult applied = run_tool(dir, {"de.po", name});
  EXPECT_NE(applied.out.find(" strings replaced in app64.exe.\n"),
            std::string::npos)
      << applied.out;
  EXPECT_EQ(probe(dir.file(name)), probe(dir.file("de.exe")));
}

// The menus and dialogs of a printout by their first line ("menu #1
// lang=0409"), each with the lines below it.
std::map<std::string, std::string> printout_blocks(
    const std::string& printout) {
  std::map<std::string, std::string> blocks;
  std::string header;
  for (const std::string& line : real::lines_of(printout)) {
    if (line.starts_with("menu ") || line.starts_with("dialog ")) {
      header = line.substr(0, line.find(" lang=") + 10);
      blocks[header] += line.substr(header.size()) + "\n";
    } else if (line.starts_with("  ") && !header.empty()) {
      blocks[header] += line + "\n";
    } else {
      header.clear();
    }
  }
  return blocks;
}

// With --add-language, the loader finds each translated menu and dialog
// under the new language and the original under its own, unchanged.
TEST(LoaderFixtures, AddedLanguageHoldsTheTranslationBesideTheOriginal) {
  const std::string name = "app64.exe";
  testsupport::TempDir dir;
  testsupport::write_file(dir.file(name),
                          *testsupport::read_file(real::fixture_path(name)));
  testsupport::write_file(dir.file("list.txt"),
                          real::list_file(real::fixture_translations()));
  const testsupport::RunResult run = run_tool(
      dir,
      {"--language", "en-US", "--add-language", "fr-FR", "list.txt", name});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string original = probe(real::fixture_path(name));
  const std::map<std::string, std::string> before = printout_blocks(original);
  const std::map<std::string, std::string> after =
      printout_blocks(probe(dir.file(name)));
  int added = 0;
  for (const auto& [header, lines] : before) {
    EXPECT_EQ(after.at(header), lines) << header;
    if (!header.ends_with("lang=0409")) continue;
    const std::string translated = real::translate_printout(
        header + lines, real::fixture_translations(), false);
    if (translated == header + lines) continue;
    std::string french = header.substr(0, header.size() - 4) + "040C";
    ASSERT_EQ(after.count(french), 1u) << french;
    EXPECT_EQ(header + after.at(french), translated) << french;
    ++added;
  }
  EXPECT_GE(added, 5);
  EXPECT_EQ(after.size(), before.size() + static_cast<size_t>(added));
}

// Every tag of the language table maps to the id the loader's
// LocaleNameToLCID gives it. The exceptions are tags this loader maps
// otherwise than Windows' published list (0: a tag it does not know; 1000:
// a language whose default locale it gives no id).
TEST(LoaderLanguages, TagsMapAsTheLoaderMapsThem) {
  const std::map<std::string, std::string> kLoaderDiffers = {
      {"gsw", "1000"},         {"ks", "1000"},          {"ks-Arab", "1000"},
      {"pap-029", "0000"},     {"sr-Cyrl-CS", "0000"},  {"sr-Latn-CS", "0000"},
      {"ti", "0873"},          {"tzm-Arab-MA", "0000"}, {"tzm-Tfng", "0000"},
      {"tzm-Tfng-MA", "0000"},
  };
  std::vector<std::string> args = {"--locales"};
  for (size_t i = 0; i < uitrans::kLanguageTagCount; ++i) {
    args.push_back(uitrans::kLanguageTags[i].tag);
  }
  const std::vector<std::string> lines = real::lines_of(run_probe(args));
  ASSERT_EQ(lines.size(), uitrans::kLanguageTagCount);
  for (size_t i = 0; i < lines.size(); ++i) {
    const uitrans::LanguageTag& row = uitrans::kLanguageTags[i];
    char ours[16];
    std::snprintf(ours, sizeof ours, "%04X", row.id);
    const auto differs = kLoaderDiffers.find(row.tag);
    const std::string expected =
        differs == kLoaderDiffers.end() ? ours : differs->second;
    EXPECT_EQ(lines[i], std::string(row.tag) + " " + expected);
  }
}

// The probe's --measure printout of `target`.
std::string probe_measure(const std::string& target) {
  return run_probe({"--measure", target});
}

// One control of the probe's --measure printout, sizes in pixels.
struct Measured {
  std::string class_name;
  uint32_t style = 0;
  int width = 0;    // the widest line of the title, drawn
  int cx = 0;       // client width
  int cy = 0;       // client height
  int line = 0;     // the font's height
  int wrapped = 0;  // the title's height broken into words at cx
  int base_x = 0;
};

// The value of `key=` in `line`, up to the next blank or quote.
std::string field(const std::string& line, const std::string& key) {
  size_t at = line.find(" " + key + "=");
  if (at == std::string::npos) return "";
  at += key.size() + 2;
  if (line[at] == '"') {
    size_t end = line.find('"', at + 1);
    return line.substr(at + 1, end - at - 1);
  }
  return line.substr(at, line.find(' ', at) - at);
}

// "#101 lang=0409" -> id -> what the probe measured; ids that come twice in
// a dialog are left out, as a report cannot tell them apart.
using Measures = std::map<std::string, std::map<int, Measured>>;

Measures measures(const std::string& printout) {
  Measures out;
  std::map<std::string, std::set<int>> twice;
  for (const std::string& line : real::lines_of(printout)) {
    if (!line.starts_with("measure ")) continue;
    const size_t name_end = line.find(" lang=");
    const std::string dialog =
        line.substr(8, name_end - 8) + " lang=" + field(line, "lang");
    const int id = std::stoi(field(line, "id"));
    Measured measured;
    measured.class_name = field(line, "class");
    measured.style =
        static_cast<uint32_t>(std::stoul(field(line, "style"), nullptr, 16));
    measured.width = std::stoi(field(line, "width"));
    measured.cx = std::stoi(field(line, "cx"));
    measured.cy = std::stoi(field(line, "cy"));
    measured.line = std::stoi(field(line, "line"));
    measured.wrapped = std::stoi(field(line, "wrapped"));
    measured.base_x = std::stoi(field(line, "base"));
    if (!out[dialog].emplace(id, measured).second) twice[dialog].insert(id);
  }
  for (const auto& [dialog, ids] : twice) {
    for (int id : ids) out[dialog].erase(id);
  }
  return out;
}

// Whether the loader draws the title inside the control, with the room the
// control's own drawing takes (the margins the estimate assumes, in dialog
// units at the dialog's base units); statics more than one line high by
// the lines their words wrap into. Empty for controls not checked.
std::optional<bool> loader_fits(const Measured& measured) {
  int margin_du = 0;
  const bool button = measured.class_name == "Button";
  if (button) {
    switch (measured.style & 0x0F) {
      case 0x0:
      case 0x1:
      case 0xA:
        margin_du = 4;
        break;
      case 0x2:
      case 0x3:
      case 0x4:
      case 0x5:
      case 0x6:
      case 0x9:
        margin_du = 12;
        break;
      case 0x7:
        margin_du = 10;
        break;
      default:
        return std::nullopt;
    }
  } else if (measured.class_name == "Static") {
    const uint32_t type = measured.style & 0x1F;
    if (type > 0x2 && type != 0xB && type != 0xC) return std::nullopt;
    if (type <= 0x2 && measured.line > 0 && measured.cy >= 2 * measured.line) {
      return measured.wrapped / measured.line <=
             std::max(1, measured.cy / measured.line);
    }
  } else {
    return std::nullopt;
  }
  return measured.width + margin_du * measured.base_x / 4 <= measured.cx;
}

struct FitTally {
  int compared = 0;
  int agreed = 0;
  int too_narrow = 0;   // found too narrow by the loader
  int widened = 0;      // widened by --fit to the width its text needs
  int widened_fit = 0;  // of those, drawn whole by the loader
};

// Controls named in a report by dialog ("#NAME lang=LLLL", or "NAME ..."
// for a named dialog) and control id.
using ControlSets = std::map<std::string, std::set<int>>;

struct ReportedControls {
  ControlSets replaced, too_narrow, widened;
};

ReportedControls reported_controls(const std::string& report_path) {
  const Bytes bytes = *testsupport::read_file(report_path);
  std::istringstream rows(std::string(bytes.begin(), bytes.end()));
  ReportedControls out;
  std::string row;
  while (std::getline(rows, row)) {
    std::vector<std::string> cells;
    std::istringstream cell_stream(row);
    std::string cell;
    while (std::getline(cell_stream, cell, '\t')) cells.push_back(cell);
    if (cells.size() < 8 || cells[2] != "DIALOG" ||
        !cells[5].starts_with("control ") || cells[5].size() < 9 ||
        cells[5][8] < '0' || cells[5][8] > '9') {
      continue;
    }
    const bool numbered =
        cells[3].find_first_not_of("0123456789") == std::string::npos;
    const std::string dialog =
        (numbered ? "#" : "") + cells[3] + " lang=" + cells[4];
    const int id = std::stoi(cells[5].substr(8));
    if (cells[0] == "replaced") out.replaced[dialog].insert(id);
    if (cells[0] == "widened") out.widened[dialog].insert(id);
    if (cells[0] == "warning" && cells.back() == "fit") {
      out.too_narrow[dialog].insert(id);
    }
  }
  return out;
}

// `source` copied into `dir` as `name` and as a translated copy, with a
// pseudo catalogue of the texts in `language`: for each control whose
// title is replaced, whether the loader finds that it fitted before and
// does not after, against whether --check finds it too narrow (`fit`).
// And a copy translated with --fit as well: every control it widens with
// no `fit` left must be drawn whole.
void compare_fit(const std::string& source, const std::string& name,
                 const std::string& language, FitTally* tally) {
  SCOPED_TRACE(source);
  testsupport::TempDir dir;
  const Bytes original = *testsupport::read_file(source);
  const std::string copy = "pseudo_" + name;
  const std::string fitted_copy = "fitted_" + name;
  testsupport::write_file(dir.file(name), original);
  testsupport::write_file(dir.file(copy), original);
  testsupport::write_file(dir.file(fitted_copy), original);
  ASSERT_EQ(run_tool(dir, {"--language", language, "--extract", "--po",
                           "--pseudo", "-o", "p.po", name})
                .status,
            0);
  ASSERT_EQ(run_tool(dir, {"--language", language, "p.po", copy}).status, 0);
  run_tool(dir, {"--language", language, "--dry-run", "--check", "--report",
                 "r.tsv", "p.po", name});
  ReportedControls reported = reported_controls(dir.file("r.tsv"));
  const Measures before = measures(probe_measure(dir.file(name)));
  const Measures after = measures(probe_measure(dir.file(copy)));
  for (const auto& [dialog, controls] : after) {
    for (const auto& [id, measured] : controls) {
      if (!reported.replaced[dialog].count(id)) continue;
      const std::optional<bool> fits_after = loader_fits(measured);
      if (!fits_after) continue;
      auto earlier = before.find(dialog);
      if (earlier == before.end() || !earlier->second.count(id)) continue;
      const bool fitted = loader_fits(earlier->second.at(id)).value_or(true);
      const bool loader_finds = fitted && !*fits_after;
      const bool tool_finds = reported.too_narrow[dialog].count(id) > 0;
      ++tally->compared;
      if (loader_finds) ++tally->too_narrow;
      if (loader_finds == tool_finds) {
        ++tally->agreed;
      } else {
        std::cout << name << " " << dialog << " id=" << id << ": the loader "
                  << (loader_finds ? "finds" : "does not find")
                  << " it too narrow, --check "
                  << (tool_finds ? "does" : "does not") << " (drawn "
                  << measured.width << " px, client " << measured.cx
                  << " px)\n";
      }
    }
  }
  run_tool(dir, {"--language", language, "--fit", "--check", "--report",
                 "f.tsv", "p.po", fitted_copy});
  ReportedControls fitted = reported_controls(dir.file("f.tsv"));
  const Measures widened = measures(probe_measure(dir.file(fitted_copy)));
  for (const auto& [dialog, controls] : widened) {
    for (const auto& [id, measured] : controls) {
      if (!fitted.widened[dialog].count(id) ||
          fitted.too_narrow[dialog].count(id)) {
        continue;
      }
      ++tally->widened;
      if (loader_fits(measured).value_or(false)) {
        ++tally->widened_fit;
      } else {
        std::cout << name << " " << dialog << " id=" << id
                  << ": widened, still cut off under the loader (drawn "
                  << measured.width << " px, client " << measured.cx
                  << " px)\n";
      }
    }
  }
}

// The fixture and some of wine's own programs and libraries translated
// with a pseudo catalogue: the loader and --check find the same titles too
// narrow for (nearly) every control whose title changed, and what --fit
// widens fully the loader draws whole.
TEST(LoaderFixtures, FitEstimatesAgreeWithTheLoader) {
  if (!testsupport::file_exists("/usr/share/wine/fonts/tahoma.ttf")) {
    GTEST_SKIP() << "needs fonts-wine";
  }
  FitTally tally;
  compare_fit(real::fixture_path("app64.exe"), "app64.exe", "en-US", &tally);
  // Copies get another name: wine would load its built-in module instead.
  const std::string windows = "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/";
  for (const char* program :
       {"notepad.exe", "wordpad.exe", "regedit.exe", "winefile.exe",
        "taskmgr.exe", "progman.exe", "comdlg32.dll"}) {
    if (!testsupport::file_exists(windows + program)) continue;
    compare_fit(windows + program, program, "en-US", &tally);
  }
  std::cout << "fit estimates: " << tally.agreed << " of " << tally.compared
            << " controls agree with the loader (" << tally.too_narrow
            << " too narrow under the loader); " << tally.widened_fit << " of "
            << tally.widened << " widened drawn whole\n";
  EXPECT_GT(tally.compared, 10);
  EXPECT_GT(tally.widened, 0);
  EXPECT_EQ(tally.widened_fit, tally.widened);
  // Every control agrees here: the tables hold the advances as wine's
  // rasteriser draws them, and its missing-glyph box for the pseudo texts'
  // letters wine's Tahoma lacks. The bar is what a translator relies on.
  EXPECT_GE(tally.agreed * 100, tally.compared * 95);
}

}  // namespace
