// SPDX-License-Identifier: MIT
// File names outside ASCII: read, backed up, written and printed exactly as
// given, whether the program sees them as bytes (POSIX) or as UTF-16
// (Windows, where redirected messages are UTF-8).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "e2e/e2e_support.h"

namespace e2e {
namespace {

using testsupport::make_pair_list;
using testsupport::make_resource_image;
using testsupport::ResourceImage;

class NativeNamesTest : public AppTest {};

TEST_F(NativeNamesTest, NamesInAnyScriptAreRewrittenAndPrintedAsGiven) {
  ASSERT_EQ(mkdir(path("répertoire").c_str(), 0777), 0);
  write("liste-ü.txt", make_pair_list({{u"&Open", u"&Load"}}));
  write("café %s %i.exe", app.image.bytes);
  write("日本語 プログラム.exe", app.image.bytes);
  write("emoji 😀.exe", app.image.bytes);               // outside the BMP
  write("répertoire/Ωmega.exe.old", app.image.bytes);  // its own backup
  write("ä.old.exe", app.image.bytes);

  const testsupport::RunResult result =
      run({"liste-ü.txt", "café %s %i.exe", "日本語 プログラム.exe",
           "emoji 😀.exe", "répertoire/Ωmega.exe.old", "ä.old.exe", "nö.exe"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out,
            "1 strings replaced in café %s %i.exe.\n"
            "1 strings replaced in 日本語 プログラム.exe.\n"
            "1 strings replaced in emoji 😀.exe.\n"
            "1 strings replaced in répertoire/Ωmega.exe.\n"
            "1 strings replaced in ä.old.exe.\n"
            "Can't open nö.exe for reading.\n");
  EXPECT_EQ(files(),
            (std::vector<std::string>{
                "café %s %i.exe", "café %s %i.exe.old", "emoji 😀.exe",
                "emoji 😀.exe.old", "liste-ü.txt", "out.txt", "répertoire",
                "ä.old.exe", "ä.old.exe.old", "日本語 プログラム.exe",
                "日本語 プログラム.exe.old"}));
  EXPECT_EQ(testsupport::list_directory(path("répertoire")),
            (std::vector<std::string>{"Ωmega.exe", "Ωmega.exe.old"}));
  for (const char* name :
       {"café %s %i.exe", "日本語 プログラム.exe", "emoji 😀.exe",
        "répertoire/Ωmega.exe", "ä.old.exe"}) {
    SCOPED_TRACE(name);
    EXPECT_BYTES(read(name), app_after);
  }
  for (const char* name :
       {"café %s %i.exe.old", "日本語 プログラム.exe.old", "emoji 😀.exe.old",
        "répertoire/Ωmega.exe.old", "ä.old.exe.old"}) {
    SCOPED_TRACE(name);
    EXPECT_BYTES(read(name), app.image.bytes);
  }
  EXPECT_BYTES(read("out.txt"), kOutTxt);
}

TEST_F(NativeNamesTest, MissingListIsNamedAsGiven) {
  write("app.exe", app.image.bytes);
  const testsupport::RunResult result = run({"-s", "fehlt-ö€.txt", "app.exe"});
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.out, "Couldn't open fehlt-ö€.txt\n");
  EXPECT_EQ(files(), std::vector<std::string>{"app.exe"});
}

TEST_F(NativeNamesTest, NothingFoundLeavesTheFileAlone) {
  write("list.txt", make_pair_list({{u"&Nothing", u"&Else"}}));
  write("ünchanged.exe", app.image.bytes);
  const testsupport::RunResult result = run({"list.txt", "ünchanged.exe"});
  EXPECT_EQ(result.out, "No strings found to replace in ünchanged.exe.\n");
  EXPECT_EQ(files(),
            (std::vector<std::string>{"list.txt", "out.txt", "ünchanged.exe"}));
  EXPECT_BYTES(read("ünchanged.exe"), app.image.bytes);
}

}  // namespace
}  // namespace e2e
