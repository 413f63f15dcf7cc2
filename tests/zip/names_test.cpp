// Stored names, name encodings, masks and the error messages.
#include <gtest/gtest.h>

#include "zip/entry_names.h"
#include "zip/masks.h"
#include "zip/zip_errors.h"

using namespace zip;

TEST(MakeStoredName, PathModes) {
  const struct {
    const char16_t* source;
    const char16_t* base;
    TZipStorePathMode mode;
    const char16_t* expected;
  } cases[] = {
      {u"/opt/yedek/mydb-yedek-2024-01-05.sql", u"/opt/yedek/", spRelativePath,
       u"mydb-yedek-2024-01-05.sql"},
      {u"/opt/Tools/Backup/a.sql", u"/opt/", spRelativePath, u"Tools/Backup/a.sql"},
      {u"/home/x/Backup/a.sql", u"/opt/yedek/", spRelativePath, u"home/x/Backup/a.sql"},
      {u"/opt/yedekler/a.sql", u"/opt/yedek/", spRelativePath, u"opt/yedekler/a.sql"},
      {u"sub/a.sql", u"/opt/yedek/", spRelativePath, u"sub/a.sql"},
      {u"./sub/../a.sql", u"/opt/yedek/", spRelativePath, u"a.sql"},
      {u"../a.sql", u"/opt/yedek/", spRelativePath, u"opt/a.sql"},
      {u"/opt//yedek/./sub/a.sql", u"/opt/yedek", spRelativePath, u"sub/a.sql"},
      {u"/opt/yedek/sub/", u"/opt/yedek/", spRelativePath, u"sub"},
      {u"/opt/yedek/a\\..\\b.sql", u"/opt/yedek/", spRelativePath, u"a/b.sql"},
      {u"/opt/yedek/a.sql", u"/", spRelativePath, u"opt/yedek/a.sql"},
      {u"/opt/yedek/sub/a.sql", u"/opt/yedek/", spNoPath, u"a.sql"},
      {u"/opt/yedek/sub/a.sql", u"/opt/yedek/", spFullPath, u"opt/yedek/sub/a.sql"},
      {u"/opt/yedek/sub/a.sql", u"/opt/yedek/", spFullPathWithDrive, u"opt/yedek/sub/a.sql"},
      {u"/opt/yedek/a.", u"/opt/yedek/", spRelativePath, u"a."},
  };
  for (const auto& c : cases) {
    std::u16string got = MakeStoredName(c.source, c.base, c.mode);
    EXPECT_TRUE(got == c.expected) << std::string(got.begin(), got.end());
  }
}

TEST(EncodeEntryName, CodePages) {
  const struct {
    const char16_t* name;
    bool oem;
    std::string bytes;
    bool utf8;
  } cases[] = {
      {u"mydb-yedek-2024-01-05.sql", true, "mydb-yedek-2024-01-05.sql", false},
      // ş ğ ı İ Ü in code page 857
      {u"\u015F\u011F\u0131\u0130\u00DC.sql", true, "\x9F\xA7\x8D\x98\x9A.sql", false},
      // the same name in Windows-1254 when OEM names are off
      {u"\u015F\u011F\u0131\u0130\u00DC.sql", false, "\xFE\xF0\xFD\xDD\xDC.sql", false},
      // Cyrillic has no Windows-1254 form: UTF-8
      {u"\u0431\u0430\u0437\u0430.sql", true, "\xD0\xB1\xD0\xB0\xD0\xB7\xD0\xB0.sql", true},
      // the euro sign is in Windows-1254 but not in code page 857: UTF-8
      {u"\u20AC.sql", true, "\xE2\x82\xAC.sql", true},
  };
  for (const auto& c : cases) {
    EncodedName e = EncodeEntryName(c.name, c.oem);
    EXPECT_EQ(e.bytes, c.bytes);
    EXPECT_EQ(e.utf8, c.utf8);
    EXPECT_TRUE(decode_entry_name(e.bytes, e.utf8, c.oem) == c.name);
  }
  // UTF-8 names are cut to 254 bytes, never inside a character.
  std::u16string long_name(200, u'\u0431');  // 2 bytes each
  EncodedName e = EncodeEntryName(long_name, true);
  EXPECT_EQ(e.bytes.size(), 254u);
  EXPECT_EQ(static_cast<unsigned char>(e.bytes[252]), 0xD0);
  std::u16string odd = u"x" + long_name;
  EXPECT_EQ(EncodeEntryName(odd, true).bytes.size(), 253u);
}

TEST(Masks, Matching) {
  const std::u16string base = u"/opt/yedek/";
  const struct {
    const char16_t* mask;
    const char16_t* path;
    bool match;
  } cases[] = {
      {u"*.*", u"/x/y", true},
      {u"*.sql", u"/opt/yedek/a.SQL", true},
      {u"*.sql", u"/opt/yedek/a.sql.bak", false},
      {u"a?.sql", u"/opt/yedek/ab.sql", true},
      {u"a?.sql", u"/opt/yedek/a.sql", false},
      {u"sub/*.log", u"/opt/yedek/sub/x.log", true},
      {u"sub/*.log", u"/opt/yedek/sub/deep/x.log", false},
      {u"/opt/yedek/sub/*.*", u"/opt/yedek/sub/deep/x.log", true},
      {u"/opt/yedek/a.zip", u"/opt/yedek/a.zip", true},
      {u"/opt/yedek/a.zip", u"/opt/yedek/b/a.zip", false},
      {u"sub/x.log", u"/opt/yedek/sub/x.log", true},
      {u"*M\u00DC*", u"/opt/yedek/am\u00FCb", true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(matches_mask(c.mask, c.path, base), c.match)
        << std::string(c.mask, c.mask + std::char_traits<char16_t>::length(c.mask));
}

TEST(EZipException, MessagesAndSuffixes) {
  const struct {
    int native;
    std::vector<MessageArg> args;
    const char* name;
    int code;
    const char* text;
  } cases[] = {
      {10,
       {},
       "ZipArchiver1",
       5,
       "ZipArchiver1: File name is blank. Specify appropriate file name - Native error: 00010"},
      {33,
       {"/opt/yedek/a.sql"},
       "ZipArchiver1",
       12,
       "ZipArchiver1: Cannot open file \"/opt/yedek/a.sql\" - Native error: 00033"},
      {61,
       {"/x"},
       "ZipArchiver1",
       36,
       "ZipArchiver1: File name is too long: \r\n\"/x\" - Native error: 00061"},
      {65,
       {},
       "",
       39,
       "Disk is full. There is not enough free space on disk. - Native error: 00065"},
      {43,
       {"/a b"},
       "",
       23,
       "Cannot compress file '/a b'. Zip64 mode is not enabled - Native error: 00043"},
      {34,
       {100, 0},
       "Z",
       17,
       "Z: Invalid compressed size, rfs.size = 100, count = 0 - Native error: 00034"},
      {68, {}, "", 0, "Unknown error - Native error: 00068"},
      {67, {}, "", 40, "Invalid password. Cannot decompress encrypted file. - Native error: 00067"},
  };
  for (const auto& c : cases) {
    EZipException e(c.native, c.args, c.name);
    EXPECT_EQ(e.NativeError(), c.native);
    EXPECT_EQ(e.ErrorCode(), c.code) << c.native;
    EXPECT_STREQ(e.what(), c.text);
  }
  // Every native error maps to a message that exists.
  for (int n = 0; n <= 67; ++n) EXPECT_STRNE(error_message_text(error_code_of(n)), "");
}
