#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Writes src/driver/language_table.cpp: language tags and their Windows
language ids, from the list of locale identifiers Microsoft publishes for
Windows (the locale names and LCIDs Windows knows).

A tag maps to the id LocaleNameToLCID gives without neutral names allowed:
a specific locale maps to its own id, and a bare language or a language
with only a script (de, zh-Hans) to the id of its default specific locale
(de -> 0407, zh-Hans -> 0804, zh-Hant -> 0C04). Windows also knows neutral
ids for those (0007, 0004, 7C04), but resources are stored under specific
ids, so the specific one is what a user who names the language means.
Windows' default for zh-Hant is zh-HK, and for quz quz-BO. A locale that
Windows gives no id of its own (LocaleNameToLCID answers 1000, as for
pt-AO) is not listed: no resource can be stored under it.

Usage: scripts/make_language_tags.py [OUTPUT]
"""
import sys

# Specific locales: tag, LCID.
SPECIFIC = """
af-ZA 0436  am-ET 045E  ar-AE 3801  ar-BH 3C01  ar-DZ 1401  ar-EG 0C01
ar-IQ 0801  ar-JO 2C01  ar-KW 3401  ar-LB 3001  ar-LY 1001  ar-MA 1801
ar-OM 2001  ar-QA 4001  ar-SA 0401  ar-SY 2801  ar-TN 1C01  ar-YE 2401
arn-CL 047A  as-IN 044D  az-Cyrl-AZ 082C  az-Latn-AZ 042C  ba-RU 046D
be-BY 0423  bg-BG 0402  bn-BD 0845  bn-IN 0445  bo-CN 0451  br-FR 047E
bs-Cyrl-BA 201A  bs-Latn-BA 141A  ca-ES 0403  ca-ES-valencia 0803
chr-Cher-US 045C  co-FR 0483  cs-CZ 0405  cy-GB 0452  da-DK 0406
de-AT 0C07  de-CH 0807  de-DE 0407  de-LI 1407  de-LU 1007  dsb-DE 082E
dv-MV 0465  el-GR 0408  en-029 2409  en-AE 4C09  en-AU 0C09  en-BZ 2809
en-CA 1009  en-GB 0809  en-HK 3C09  en-ID 3809  en-IE 1809  en-IN 4009
en-JM 2009  en-MY 4409  en-NZ 1409  en-PH 3409  en-SG 4809  en-TT 2C09
en-US 0409  en-ZA 1C09  en-ZW 3009  es-419 580A  es-AR 2C0A  es-BO 400A
es-CL 340A  es-CO 240A  es-CR 140A  es-CU 5C0A  es-DO 1C0A  es-EC 300A
es-ES 0C0A  es-ES_tradnl 040A  es-GT 100A  es-HN 480A  es-MX 080A
es-NI 4C0A  es-PA 180A  es-PE 280A  es-PR 500A  es-PY 3C0A  es-SV 440A
es-US 540A  es-UY 380A  es-VE 200A  et-EE 0425  eu-ES 042D  fa-IR 0429
ff-Latn-SN 0867  fi-FI 040B  fil-PH 0464  fo-FO 0438  fr-029 1C0C
fr-BE 080C  fr-CA 0C0C  fr-CD 240C  fr-CH 100C  fr-CI 300C  fr-CM 2C0C
fr-FR 040C  fr-HT 3C0C  fr-LU 140C  fr-MA 380C  fr-MC 180C  fr-ML 340C
fr-RE 200C  fr-SN 280C  fy-NL 0462  ga-IE 083C  gd-GB 0491  gl-ES 0456
gn-PY 0474  gsw-FR 0484  gu-IN 0447  ha-Latn-NG 0468  haw-US 0475
he-IL 040D  hi-IN 0439  hr-BA 101A  hr-HR 041A  hsb-DE 042E  hu-HU 040E
hy-AM 042B  id-ID 0421  ig-NG 0470  ii-CN 0478  is-IS 040F  it-CH 0810
it-IT 0410  iu-Cans-CA 045D  iu-Latn-CA 085D  ja-JP 0411  ka-GE 0437
kk-KZ 043F  kl-GL 046F  km-KH 0453  kn-IN 044B  ko-KR 0412  kok-IN 0457
kr-Latn-NG 0471  ks-Arab 0460  ku-Arab-IQ 0492  ky-KG 0440  la-VA 0476
lb-LU 046E  lo-LA 0454  lt-LT 0427  lv-LV 0426  mi-NZ 0481  mk-MK 042F
ml-IN 044C  mn-MN 0450  mn-Mong-CN 0850  mn-Mong-MN 0C50  mni-IN 0458
moh-CA 047C  mr-IN 044E  ms-BN 083E  ms-MY 043E  mt-MT 043A  my-MM 0455
nb-NO 0414  ne-IN 0861  ne-NP 0461  nl-BE 0813  nl-NL 0413  nn-NO 0814
nso-ZA 046C  oc-FR 0482  om-ET 0472  or-IN 0448  pa-Arab-PK 0846
pa-IN 0446  pap-029 0479  pl-PL 0415  prs-AF 048C  ps-AF 0463
pt-BR 0416  pt-PT 0816  quc-Latn-GT 0486  quz-BO 046B  quz-EC 086B
quz-PE 0C6B  rm-CH 0417  ro-MD 0818  ro-RO 0418  ru-MD 0819  ru-RU 0419
rw-RW 0487  sa-IN 044F  sah-RU 0485  sd-Arab-PK 0859  sd-Deva-IN 0459
se-FI 0C3B  se-NO 043B  se-SE 083B  si-LK 045B  sk-SK 041B  sl-SI 0424
sma-NO 183B  sma-SE 1C3B  smj-NO 103B  smj-SE 143B  smn-FI 243B
sms-FI 203B  so-SO 0477  sq-AL 041C  sr-Cyrl-BA 1C1A  sr-Cyrl-CS 0C1A
sr-Cyrl-ME 301A  sr-Cyrl-RS 281A  sr-Latn-BA 181A  sr-Latn-CS 081A
sr-Latn-ME 2C1A  sr-Latn-RS 241A  st-ZA 0430  sv-FI 081D  sv-SE 041D
sw-KE 0441  syr-SY 045A  ta-IN 0449  ta-LK 0849  te-IN 044A
tg-Cyrl-TJ 0428  th-TH 041E  ti-ER 0873  ti-ET 0473  tk-TM 0442
tn-BW 0832  tn-ZA 0432  tr-TR 041F  ts-ZA 0431  tt-RU 0444
tzm-Arab-MA 045F  tzm-Latn-DZ 085F  tzm-Tfng-MA 105F  ug-CN 0480
uk-UA 0422  ur-IN 0820  ur-PK 0420  uz-Cyrl-UZ 0843  uz-Latn-UZ 0443
ve-ZA 0433  vi-VN 042A  wo-SN 0488  xh-ZA 0434  yi-001 043D  yo-NG 046A
zh-CN 0804  zh-HK 0C04  zh-MO 1404  zh-SG 1004  zh-TW 0404  zu-ZA 0435
"""

# Tags without a region (a bare language, or a language and its script),
# mapped as LocaleNameToLCID maps them: to the default specific locale.
DEFAULTS = """
af af-ZA  am am-ET  ar ar-SA  arn arn-CL  as as-IN  az az-Latn-AZ
az-Cyrl az-Cyrl-AZ  az-Latn az-Latn-AZ  ba ba-RU  be be-BY  bg bg-BG
bn bn-BD  bo bo-CN  br br-FR  bs bs-Latn-BA  bs-Cyrl bs-Cyrl-BA
bs-Latn bs-Latn-BA  ca ca-ES  chr chr-Cher-US  chr-Cher chr-Cher-US
co co-FR  cs cs-CZ  cy cy-GB  da da-DK  de de-DE  dsb dsb-DE  dv dv-MV
el el-GR  en en-US  es es-ES  et et-EE  eu eu-ES  fa fa-IR
ff ff-Latn-SN  ff-Latn ff-Latn-SN  fi fi-FI  fil fil-PH  fo fo-FO
fr fr-FR  fy fy-NL  ga ga-IE  gd gd-GB  gl gl-ES  gn gn-PY  gsw gsw-FR
gu gu-IN  ha ha-Latn-NG  ha-Latn ha-Latn-NG  haw haw-US  he he-IL
hi hi-IN  hr hr-HR  hsb hsb-DE  hu hu-HU  hy hy-AM  id id-ID  ig ig-NG
ii ii-CN  is is-IS  it it-IT  iu iu-Latn-CA  iu-Cans iu-Cans-CA
iu-Latn iu-Latn-CA  ja ja-JP  ka ka-GE  kk kk-KZ  kl kl-GL  km km-KH
kn kn-IN  ko ko-KR  kok kok-IN  ks ks-Arab  ku ku-Arab-IQ
ku-Arab ku-Arab-IQ  ky ky-KG  la la-VA  lb lb-LU  lo lo-LA  lt lt-LT
lv lv-LV  mi mi-NZ  mk mk-MK  ml ml-IN  mn mn-MN  mn-Cyrl mn-MN
mn-Mong mn-Mong-CN  mni mni-IN  moh moh-CA  mr mr-IN  ms ms-MY
mt mt-MT  my my-MM  nb nb-NO  ne ne-NP  nl nl-NL  nn nn-NO  no nb-NO
nso nso-ZA  oc oc-FR  om om-ET  or or-IN  pa pa-IN  pa-Arab pa-Arab-PK
pl pl-PL  prs prs-AF  ps ps-AF  pt pt-BR  quc quc-Latn-GT
quc-Latn quc-Latn-GT  quz quz-BO  rm rm-CH  ro ro-RO  ru ru-RU
rw rw-RW  sa sa-IN  sah sah-RU  sd sd-Arab-PK  sd-Arab sd-Arab-PK
se se-NO  si si-LK  sk sk-SK  sl sl-SI  sma sma-SE  smj smj-SE
smn smn-FI  sms sms-FI  so so-SO  sq sq-AL  sr sr-Latn-RS
sr-Cyrl sr-Cyrl-RS  sr-Latn sr-Latn-RS  st st-ZA  sv sv-SE  sw sw-KE
syr syr-SY  ta ta-IN  te te-IN  tg tg-Cyrl-TJ  tg-Cyrl tg-Cyrl-TJ
th th-TH  ti ti-ET  tk tk-TM  tn tn-ZA  tr tr-TR  ts ts-ZA  tt tt-RU
tzm tzm-Latn-DZ  tzm-Latn tzm-Latn-DZ  tzm-Tfng tzm-Tfng-MA  ug ug-CN
uk uk-UA  ur ur-PK  uz uz-Latn-UZ  uz-Cyrl uz-Cyrl-UZ
uz-Latn uz-Latn-UZ  ve ve-ZA  vi vi-VN  wo wo-SN  xh xh-ZA  yi yi-001
yo yo-NG  zh zh-CN  zh-Hans zh-CN  zh-Hant zh-HK  zu zu-ZA
"""

HEADER = """// SPDX-License-Identifier: MIT
// Generated by scripts/make_language_tags.py from the list of Windows
// locale names and their language ids; edit the script, not this file.
#include "driver/language_tags.h"

namespace uitrans {

// clang-format off
const LanguageTag kLanguageTags[] = {
"""

FOOTER = """};
// clang-format on

const size_t kLanguageTagCount = sizeof kLanguageTags / sizeof kLanguageTags[0];

}  // namespace uitrans
"""


def pairs(text):
    words = text.split()
    if len(words) % 2:
        sys.exit("odd number of words in a table")
    return list(zip(words[0::2], words[1::2]))


def table():
    ids = {}
    for tag, lcid in pairs(SPECIFIC):
        if tag.lower() in ids:
            sys.exit("tag listed twice: " + tag)
        ids[tag.lower()] = (tag, int(lcid, 16))
    for tag, target in pairs(DEFAULTS):
        if tag.lower() in ids:
            sys.exit("tag listed twice: " + tag)
        if target.lower() not in ids:
            sys.exit("default of %s is not listed: %s" % (tag, target))
        ids[tag.lower()] = (tag, ids[target.lower()][1])
    # Sorted by the lower-case tag, which the lookup searches by bisection.
    return [ids[key] for key in sorted(ids)]


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "src/driver/language_table.cpp"
    lines = [HEADER]
    for tag, lcid in table():
        lines.append('    {"%s", 0x%04X},\n' % (tag, lcid))
    lines.append(FOOTER)
    with open(out, "w", newline="\n") as f:
        f.write("".join(lines))


if __name__ == "__main__":
    main()
