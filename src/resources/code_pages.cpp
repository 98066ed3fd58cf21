// SPDX-License-Identifier: MIT
// The values are the default ANSI code pages Windows gives each locale
// (GetLocaleInfo with LOCALE_IDEFAULTANSICODEPAGE), as listed in the
// national language support tables of the Windows documentation, grouped by
// the script the language is written in. Primary language ids are those of
// winnt.h (LANG_*), sublanguages those of SUBLANG_*.
#include "resources/code_pages.h"

namespace uitrans {

namespace {

struct LanguageCodePage {
  uint16_t primary;
  uint32_t code_page;
};

// Languages whose every sublanguage has the same code page.
constexpr LanguageCodePage kByPrimary[] = {
    // Central European (Latin 2).
    {0x05, 1250},  // Czech
    {0x15, 1250},  // Polish
    {0x0E, 1250},  // Hungarian
    {0x1B, 1250},  // Slovak
    {0x24, 1250},  // Slovenian
    {0x18, 1250},  // Romanian
    {0x1C, 1250},  // Albanian
    // Cyrillic.
    {0x19, 1251},  // Russian
    {0x22, 1251},  // Ukrainian
    {0x02, 1251},  // Bulgarian
    {0x23, 1251},  // Belarusian
    {0x2F, 1251},  // Macedonian
    {0x3F, 1251},  // Kazakh
    {0x40, 1251},  // Kyrgyz
    {0x44, 1251},  // Tatar
    {0x28, 1251},  // Tajik
    {0x6D, 1251},  // Bashkir
    {0x85, 1251},  // Yakut
    {0x50, 1251},  // Mongolian (Cyrillic, the default sublanguage)
    // Others with one script each.
    {0x08, 1253},  // Greek
    {0x1F, 1254},  // Turkish
    {0x42, 1250},  // Turkmen
    {0x0D, 1255},  // Hebrew
    {0x01, 1256},  // Arabic
    {0x29, 1256},  // Persian
    {0x20, 1256},  // Urdu
    {0x25, 1257},  // Estonian
    {0x26, 1257},  // Latvian
    {0x27, 1257},  // Lithuanian
    {0x2A, 1258},  // Vietnamese
    {0x1E, 874},   // Thai
    {0x11, 932},   // Japanese
    {0x12, 949},   // Korean
};

constexpr uint16_t kSerbianCroatianBosnian = 0x1A;
constexpr uint16_t kAzerbaijani = 0x2C;
constexpr uint16_t kUzbek = 0x43;
constexpr uint16_t kChinese = 0x04;

// Languages written in Latin or Cyrillic script, by sublanguage.
uint32_t serbian_croatian_bosnian(uint16_t sublanguage) {
  // The Cyrillic sublanguages: Serbian (3), Serbian in Bosnia (7), Serbia
  // (0x0A) and Montenegro (0x0C), Bosnian (8), and the neutral forms
  // bs-Cyrl (0x19) and sr-Cyrl (0x1B).
  switch (sublanguage) {
    case 0x03:
    case 0x07:
    case 0x08:
    case 0x0A:
    case 0x0C:
    case 0x19:
    case 0x1B:
      return 1251;
    default:
      return 1250;  // Croatian and the Latin forms
  }
}

uint32_t chinese(uint16_t sublanguage) {
  // Traditional: Taiwan (1), Hong Kong (3), Macao (5), and the neutral
  // traditional form zh-Hant (0x1F). Simplified: PRC (2), Singapore (4), and
  // the neutral zh-Hans.
  switch (sublanguage) {
    case 0x01:
    case 0x03:
    case 0x05:
    case 0x1F:
      return 950;
    default:
      return 936;
  }
}

}  // namespace

uint32_t ansi_code_page(uint16_t language) {
  uint16_t primary = language & 0x3FF;
  uint16_t sublanguage = language >> 10;
  for (const LanguageCodePage& entry : kByPrimary) {
    if (entry.primary == primary) return entry.code_page;
  }
  switch (primary) {
    case kSerbianCroatianBosnian:
      return serbian_croatian_bosnian(sublanguage);
    case kAzerbaijani:  // Cyrillic: az-AZ (2) and the neutral az-Cyrl (0x1D)
      return sublanguage == 0x02 || sublanguage == 0x1D ? 1251 : 1254;
    case kUzbek:  // Cyrillic: uz-UZ (2) and the neutral uz-Cyrl (0x1E)
      return sublanguage == 0x02 || sublanguage == 0x1E ? 1251 : 1254;
    case kChinese:
      return chinese(sublanguage);
    default:
      return kWesternCodePage;
  }
}

}  // namespace uitrans
