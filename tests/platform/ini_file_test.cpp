// INI file reader/writer: lookups, in-place updates, the file on disk, and
// where bare names live.
#include "platform/ini_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>

#include "tests/support/expect_throw.h"
#include "tests/support/temp_dir.h"

namespace {

using platform::ini_find_value;
using platform::ini_set_value;
using platform::IniFile;
using testsupport::read_all;
using testsupport::TempDir;
using testsupport::write_all;

TEST(IniFindValue, Lookups) {
  const std::string text =
      "; comment=1\r\n"
      "top=before any section\r\n"
      "[Tyedekalmaf]\n"
      "  NormPos = 10 20,30,,40  \r"
      "Quoted=\"  padded  \"\r\n"
      "Single='x'\r\n"
      "Empty=\r\n"
      "eq=a=b\r\n"
      "NormPos=second one ignored\r\n"
      "[ other ]\r\n"
      "NormPos=other section\r\n"
      "[TYEDEKALMAF]\r\n"
      "Late=in a repeated section\r\n";
  struct Case {
    const char* section;
    const char* key;
    std::optional<std::string> want;
  } cases[] = {
      {"Tyedekalmaf", "NormPos", "10 20,30,,40"},  // blanks inside kept, ends trimmed
      {"tyedekalmaf", "normpos", "10 20,30,,40"},  // names match in any case
      {"Tyedekalmaf", "Quoted", "  padded  "},
      {"Tyedekalmaf", "Single", "x"},
      {"Tyedekalmaf", "Empty", ""},
      {"Tyedekalmaf", "eq", "a=b"},
      {"other", "NormPos", "other section"},
      {"Tyedekalmaf", "top", std::nullopt},
      {"Tyedekalmaf", "Missing", std::nullopt},
      {"Missing", "NormPos", std::nullopt},
      {"Tyedekalmaf", "Late", std::nullopt},  // only the first section of a name counts
      {"Tyedekalmaf", "; comment", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.section) + "/" + c.key);
    EXPECT_EQ(ini_find_value(text, c.section, c.key), c.want);
  }
}

TEST(IniSetValue, EditsInPlaceAndKeepsTheRest) {
  struct Case {
    const char* name;
    const char* before;
    const char* section;
    const char* key;
    const char* value;
    const char* after;
  } cases[] = {
      {"empty file", "", "S", "K", "1", "[S]\r\nK=1\r\n"},
      {"new section after others", "[A]\nx=1\n", "S", "K", "1", "[A]\r\nx=1\r\n\r\n[S]\r\nK=1\r\n"},
      {"new key at section end, before blank lines and the next section",
       "[S]\r\na=1\r\n\r\n[T]\r\nb=2\r\n", "s", "K", "v",
       "[S]\r\na=1\r\nK=v\r\n\r\n[T]\r\nb=2\r\n"},
      {"existing key replaced in place, any case", "; keep me\r\n[S]\r\n  k = old \r\nz=9\r\n", "S",
       "K", "new", "; keep me\r\n[S]\r\nK=new\r\nz=9\r\n"},
      {"same key in another section untouched", "[T]\r\nK=t\r\n[S]\r\nK=s\r\n", "S", "K", "x",
       "[T]\r\nK=t\r\n[S]\r\nK=x\r\n"},
      {"value with inner blanks as is", "", "S", "K", "10 20,30,,40", "[S]\r\nK=10 20,30,,40\r\n"},
      {"value with outer blanks quoted", "", "S", "K", " a ", "[S]\r\nK=\" a \"\r\n"},
      {"value in quotes quoted again", "", "S", "K", "'a'", "[S]\r\nK=\"'a'\"\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string after = ini_set_value(c.before, c.section, c.key, c.value);
    EXPECT_EQ(after, c.after);
    EXPECT_EQ(ini_find_value(after, c.section, c.key), std::string(c.value));
  }
}

TEST(ParseIniInteger, Forms) {
  struct Case {
    const char* text;
    std::optional<int> want;
  } cases[] = {
      {"0", 0},
      {"96", 96},
      {"-12", -12},
      {"+7", 7},
      {"$1F", 31},
      {"0x1f", 31},
      {"$FFFFFFFF", -1},
      {"2147483647", 2147483647},
      {"-2147483648", INT32_MIN},
      {"2147483648", std::nullopt},
      {"", std::nullopt},
      {"-", std::nullopt},
      {"12a", std::nullopt},
      {" 1", std::nullopt},
      {"1.5", std::nullopt},
      {"$", std::nullopt},
      {"99999999999999999999", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(platform::parse_ini_integer(c.text), c.want);
  }
}

TEST(IniFile, MissingFileReadsDefaultsAndFirstWriteCreatesFileAndFolders) {
  TempDir dir;
  IniFile ini(dir.file("sub/deeper/yedekalma.INI"));
  EXPECT_EQ(ini.ReadString("Tyedekalmaf", "NormPos", "dflt"), "dflt");
  EXPECT_EQ(ini.ReadInteger("Tyedekalmaf", "ShowCmd", 7), 7);

  ini.WriteInteger("Tyedekalmaf", "FormVersion", 0);
  ini.WriteString("Tyedekalmaf", "NormPos", "10 20,30,,40");
  ini.WriteInteger("Tyedekalmaf", "FormVersion", -3);
  EXPECT_EQ(read_all(ini.FileName()),
            "[Tyedekalmaf]\r\nFormVersion=-3\r\nNormPos=10 20,30,,40\r\n");
  EXPECT_EQ(ini.ReadInteger("TYEDEKALMAF", "formversion", 0), -3);
  EXPECT_EQ(ini.ReadInteger("Tyedekalmaf", "NormPos", 5), 5);  // not a number: default
}

TEST(IniFile, UpdateKeepsForeignContentAndMode) {
  TempDir dir;
  std::string path = dir.file("a.ini");
  write_all(path, "# made by hand\n[Other]\nk=\xFE\xFD\n");  // Windows-1254 bytes kept
  ::chmod(path.c_str(), 0640);
  IniFile ini(path);
  ini.WriteString("Tyedekalmaf", "Visible", "0");
  EXPECT_EQ(read_all(path),
            "# made by hand\r\n[Other]\r\nk=\xFE\xFD\r\n\r\n[Tyedekalmaf]\r\nVisible=0\r\n");
  struct stat st;
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST(IniFile, RefusedWritesRaiseAndLeaveTheFile) {
  TempDir dir;
  std::string path = dir.file("a.ini");
  write_all(path, "[S]\r\nK=1\r\n");
  IniFile ini(path);
  const char* bad[][3] = {
      {"S", "K", "two\r\nlines"}, {"S", "K=", "1"}, {"S]", "K", "1"}, {"S", "", "1"},
      {"S", "[K", "1"},
  };
  for (auto& b : bad) {
    SCOPED_TRACE(std::string(b[0]) + "/" + b[1] + "/" + b[2]);
    testsupport::expect_throw<platform::EIniFileException>(
        [&] { ini.WriteString(b[0], b[1], b[2]); }, "Unable to write to " + path);
  }
  EXPECT_EQ(read_all(path), "[S]\r\nK=1\r\n");

  // A folder where the file should be: cannot be written, reads as defaults.
  IniFile folder(dir.path());
  EXPECT_EQ(folder.ReadString("S", "K", "d"), "d");
  EXPECT_THROW(folder.WriteString("S", "K", "1"), platform::EIniFileException);
}

TEST(IniFile, BareNameLivesInTheConfigFolder) {
  TempDir dir;
  const char* old_xdg = std::getenv("XDG_CONFIG_HOME");
  const char* old_home = std::getenv("HOME");
  std::string saved_xdg = old_xdg ? old_xdg : "", saved_home = old_home ? old_home : "";

  ::setenv("XDG_CONFIG_HOME", (dir.path() + "/xdg").c_str(), 1);
  EXPECT_EQ(platform::user_config_dir(), dir.path() + "/xdg/");
  EXPECT_EQ(platform::private_profile_path("yedekalma.INI"), dir.path() + "/xdg/yedekalma.INI");
  EXPECT_EQ(platform::private_profile_path("./here.INI"), "./here.INI");
  IniFile ini("yedekalma.INI");
  ini.WriteString("S", "K", "v");
  EXPECT_EQ(read_all(dir.path() + "/xdg/yedekalma.INI"), "[S]\r\nK=v\r\n");

  ::setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
  ::setenv("HOME", dir.path().c_str(), 1);
  EXPECT_EQ(platform::user_config_dir(), dir.path() + "/.config/");
  ::unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(platform::user_config_dir(), dir.path() + "/.config/");

  if (old_xdg) ::setenv("XDG_CONFIG_HOME", saved_xdg.c_str(), 1);
  if (old_home)
    ::setenv("HOME", saved_home.c_str(), 1);
  else
    ::unsetenv("HOME");
}

}  // namespace
