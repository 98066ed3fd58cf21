// SPDX-License-Identifier: MIT
// The placeholder reader of both syntaxes, the verdicts on translations,
// and the pseudo-translation that must keep every placeholder.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "replace/placeholders.h"
#include "replace/pseudo.h"
#include "resources/font_tables.h"

namespace uitrans {
namespace {

struct PrintfCase {
  const char16_t* text;
  PrintfArguments arguments;
};

TEST(PrintfArguments, ConversionsOfEveryForm) {
  const std::vector<PrintfCase> cases = {
      {u"no conversions", {}},
      {u"%d and %i read alike", {u"d", u"d"}},
      {u"%s %ls %hs %S", {u"s", u"ls", u"hs", u"S"}},
      {u"%-08.3f %+5x %#o %'d", {u"f", u"x", u"o", u"d"}},
      {u"%*d %.*s %*.*g", {u"*", u"d", u"*", u"s", u"*", u"*", u"g"}},
      {u"%lld %I64u %zu %hhx %Lf", {u"lld", u"I64u", u"zu", u"hhx", u"Lf"}},
      {u"%1$s %2$d in order", {u"s", u"d"}},
      {u"100%% sure, 50% off, %", {}},
      {u"%1 %2!d! are inserts", {}},
      {u"%y is no type", {}},
  };
  for (const PrintfCase& c : cases) {
    SCOPED_TRACE(std::string(c.text, c.text + std::u16string(c.text).size()));
    EXPECT_EQ(printf_arguments(c.text), c.arguments);
  }
}

struct InsertCase {
  const char16_t* text;
  std::vector<std::pair<uint32_t, std::u16string>> inserts;
};

TEST(FormatInserts, NumbersFormatsAndEscapes) {
  const std::vector<InsertCase> cases = {
      {u"none %0 %n %t %b %r %. %! %%", {}},
      {u"%1 and %2!d!", {{1, u"s"}, {2, u"d"}}},
      {u"%99 %100", {{99, u"s"}, {10, u"s"}}},
      {u"%3!-10s! then %1!", {{3, u"-10s"}, {1, u"s"}}},
      {u"%%1 is literal", {}},
  };
  for (const InsertCase& c : cases) {
    std::vector<FormatInsert> found = format_inserts(c.text);
    ASSERT_EQ(found.size(), c.inserts.size());
    for (size_t i = 0; i < found.size(); ++i) {
      EXPECT_EQ(found[i].number, c.inserts[i].first);
      EXPECT_EQ(found[i].format, c.inserts[i].second);
    }
  }
}

struct VerdictCase {
  PlaceholderSyntax syntax;
  const char16_t* source;
  const char16_t* translation;
  PlaceholderVerdict verdict;
};

TEST(ComparePlaceholders, SameDroppedOrDiffering) {
  using enum PlaceholderVerdict;
  constexpr PlaceholderSyntax kPrintf = PlaceholderSyntax::printf_and_inserts;
  constexpr PlaceholderSyntax kInserts = PlaceholderSyntax::inserts;
  const std::vector<VerdictCase> cases = {
      {kPrintf, u"%d of %s", u"%i von %s", same},
      {kPrintf, u"%d of %s", u"%d", dropped},
      {kPrintf, u"%d of %s", u"%s", differs},
      {kPrintf, u"%d of %s", u"%s %d", differs},
      {kPrintf, u"%s", u"%ls", differs},
      {kPrintf, u"plain", u"%s", differs},
      {kPrintf, u"Copy %1 to %2", u"%2 <- %1", same},
      {kPrintf, u"Copy %1 to %2", u"%1", dropped},
      {kPrintf, u"Copy %1", u"%1 %2", differs},
      {kPrintf, u"plain", u"%1 is no insert here", same},
      {kInserts, u"%1!d! of %2", u"%2 %1!d! %1!d!", same},
      {kInserts, u"%1!d!", u"%1", differs},
      {kInserts, u"%1", u"%1!s!", same},
      {kInserts, u"%1 %2", u"%2", dropped},
      {kInserts, u"%d", u"%s", same},
  };
  for (const VerdictCase& c : cases) {
    std::u16string source = c.source;
    SCOPED_TRACE(std::string(source.begin(), source.end()));
    EXPECT_EQ(compare_placeholders(c.syntax, c.source, c.translation),
              c.verdict);
  }
}

TEST(PseudoTranslation, KeepsWhatAProgramReadsAndGrowsByLength) {
  struct Case {
    const char16_t* text;
    bool menu_item;
    const char16_t* pseudo;
  };
  const std::vector<Case> cases = {
      {u"OK", false, u"[ÖĶ]"},
      {u"&Open...\tCtrl+O", true, u"[&Oþéñ~~~]...\tCtrl+O"},
      {u"Tab\tin a string", false, u"[Ţáƀ\tíñ á šţŕíñğ~~~~~~~~~~]"},
      {u"  %1!d! of %s:  ", false, u"  [%1!d! öƒ %s~~~~~~~]:  "},
      {u"Save &&", false, u"[Šáṽé &&~~~~~]"},
      {u"Trailing &", false, u"[Ţŕáíĺíñğ ~~~~~~~]&"},
      {u"Line\r\nbreak", false, u"[Ĺíñé\r\nƀŕéáķ~~~~~~~]"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(pseudo_translation(c.text, c.menu_item), c.pseudo);
    EXPECT_EQ(compare_placeholders(PlaceholderSyntax::printf_and_inserts,
                                   c.text, pseudo_translation(c.text, false)),
              PlaceholderVerdict::same);
  }
  // Long texts grow by 30 %: 60 units gain 18, the brackets among them.
  std::u16string long_text(60, u'x');
  EXPECT_EQ(pseudo_translation(long_text, false).size(), 60u + 18u);
}

// A glyph of `c` in `table`: a listed code point with a width.
bool has_glyph(const FontTable& table, char16_t c) {
  for (size_t i = 0; i < table.range_count; ++i) {
    const WidthRange& range = table.ranges[i];
    if (c >= range.first && c - range.first < range.count) {
      return range.widths[c - range.first] != 0;
    }
  }
  return false;
}

// A pseudo-localised program is read on screen: a look-alike a dialog
// typeface lacks is drawn as a box. These are the ones each face lacks; a
// letter with a look-alike every face has uses it.
TEST(PseudoTranslation, LookAlikesTheDialogFacesLack) {
  const std::u16string tahoma_lacks = u"ƀĵķṁǫṽŵẋƁƑĴĶṀǪṼŴẊ";
  const struct {
    const char* face;
    std::u16string lacks;
  } kCases[] = {
      {"tahoma", tahoma_lacks},
      {"tahoma_bold", tahoma_lacks},
      {"ms_sans_serif", u"ƀĥĵṁǫṽŵẋƁƑĤĴṀǪṼŴẊ"},
      {"liberation_sans", u""},
      {"liberation_serif_bold", u""},
      {"liberation_mono", u""},
  };
  std::u16string letters;
  for (char16_t c = u'a'; c <= u'z'; ++c) letters += c;
  for (char16_t c = u'A'; c <= u'Z'; ++c) letters += c;
  const std::u16string pseudo = pseudo_translation(letters, false);
  for (const auto& c : kCases) {
    const FontTable* table = nullptr;
    for (size_t i = 0; i < kFontTableCount; ++i) {
      if (std::string(kFontTables[i]->name) == c.face) table = kFontTables[i];
    }
    ASSERT_NE(table, nullptr) << c.face;
    std::u16string lacks;
    for (char16_t letter : pseudo) {
      if (!has_glyph(*table, letter)) lacks += letter;
    }
    EXPECT_EQ(lacks, c.lacks) << c.face;
  }
}

}  // namespace
}  // namespace uitrans
