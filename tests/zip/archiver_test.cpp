// The archiver component end to end: the application's sequence, the records
// on disk, names, updates of existing archives, failures and rollback. Every
// archive written is handed to the independent readers.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "platform/codepage.h"
#include "platform/files.h"
#include "tests/support/expect_throw.h"
#include "tests/support/fake_user_interface.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"
#include "tests/zip/zip_test_support.h"
#include "zip/archive_check.h"
#include "zip/zip_archiver.h"

using namespace zip;
using platform::FailureAnswer;
using testsupport::expect_throw;
using testsupport::FakeUserInterface;
using testsupport::read_all;
using testsupport::TempDir;
using testsupport::write_all;
using ziptest::expect_readers_accept;
using ziptest::MemoryStream;
using ziptest::Names;
using ziptest::u16_at;
using ziptest::u32_at;

namespace {

std::u16string u16(const std::string& utf8) { return platform::utf8_to_utf16(utf8); }

std::string sql_text(std::size_t n) {
  std::string s;
  for (int i = 0; s.size() < n; ++i)
    s += "INSERT INTO `stok` VALUES (" + std::to_string(i * 7919 % 100003) +
         ",'\xC3\xBCr\xC3\xBCn " + std::to_string(i) + "',3.25);\r\n";
  s.resize(n);
  return s;
}

// The archiver as the application configures it.
void configure(TZipArchiver& a) {
  a.SetName("ZipArchiver1");
  a.SetCompressionLevel(clFastest);
  a.SetCompressionMode(1);
  a.SetSpanningMode(smNone);
  a.SetZip64Mode(zmDisabled);
  a.SetUnicodeFilenames(false);
  a.Options().OEMFileNames = true;
  a.Options().FlushBuffers = true;
}

struct ChangeDir {
  std::string old = std::filesystem::current_path().string();
  explicit ChangeDir(const std::string& d) { std::filesystem::current_path(d); }
  ~ChangeDir() { std::filesystem::current_path(old); }
};

// Builds a one-file archive of `data` with the application's sequence.
std::string archive_one(TempDir& dir, const std::string& name, const std::string& data,
                        const std::string& zip_name = "a.zip") {
  write_all(dir.file(name), data);
  TZipArchiver a;
  configure(a);
  a.SetFileName(u16(dir.file(zip_name)));
  a.Open(kCreateMode);
  a.SetBaseDir(u16(dir.path()));
  a.AddFromMask(u16(dir.file(name)));
  a.Close();
  return dir.file(zip_name);
}

}  // namespace

TEST(Archiver, BackupSequenceWritesOneDeflatedEntryWithItsHeadersAndDirectory) {
  TempDir dir;
  const std::string script = "mydb-yedek-2024-01-05.sql";
  const std::string data = "\xEF\xBB\xBF" + sql_text(1200000);  // three 512 KiB blocks
  write_all(dir.file(script), data);
  ChangeDir cd(dir.path());
  {
    TZipArchiver a;
    configure(a);
    a.SetFileName(u"mydb-yedek-2024-01-05-14.zip");
    a.Open(kCreateMode);
    EXPECT_EQ(std::filesystem::file_size(dir.file("mydb-yedek-2024-01-05-14.zip")), 0u);
    a.SetBaseDir(u"");
    a.AddFromMask(u16(dir.file(script)), 10431, u"");
    // Complete on disk before Close.
    EXPECT_TRUE(verify_entry(dir.file("mydb-yedek-2024-01-05-14.zip"), script).ok);
    a.Close();
    a.Close();  // twice is harmless
  }
  const std::string z = read_all(dir.file("mydb-yedek-2024-01-05-14.zip"));
  const std::size_t L = script.size();
  // Local header.
  ASSERT_GT(z.size(), 98 + 2 * L);
  EXPECT_EQ(u32_at(z, 0), 0x04034B50u);
  EXPECT_EQ(u16_at(z, 4), 20);
  EXPECT_EQ(u16_at(z, 6), 0);
  EXPECT_EQ(u16_at(z, 8), 8);
  EXPECT_EQ(u32_at(z, 14), crc32_update(0, data.data(), data.size()));
  const std::uint32_t C = u32_at(z, 18);
  EXPECT_EQ(u32_at(z, 22), data.size());
  EXPECT_EQ(u16_at(z, 26), L);
  EXPECT_EQ(u16_at(z, 28), 0);
  EXPECT_EQ(z.substr(30, L), script);
  EXPECT_EQ(z.size(), 98 + 2 * L + C);
  // Central header: the same fields.
  const std::size_t c = 30 + L + C;
  EXPECT_EQ(u32_at(z, c), 0x02014B50u);
  EXPECT_EQ(u16_at(z, c + 4), 20);
  EXPECT_EQ(u16_at(z, c + 6), 20);
  for (std::size_t f = 0; f < 22; f += 2) EXPECT_EQ(u16_at(z, c + 8 + f), u16_at(z, 6 + f)) << f;
  EXPECT_EQ(u16_at(z, c + 30), 0);
  EXPECT_EQ(u32_at(z, c + 38), 0x20u);
  EXPECT_EQ(u32_at(z, c + 42), 0u);
  EXPECT_EQ(z.substr(c + 46, L), script);
  // End record.
  const std::size_t e = 76 + 2 * L + C;
  EXPECT_EQ(u32_at(z, e), 0x06054B50u);
  EXPECT_EQ(u16_at(z, e + 8), 1);
  EXPECT_EQ(u16_at(z, e + 10), 1);
  EXPECT_EQ(u32_at(z, e + 12), 46 + L);
  EXPECT_EQ(u32_at(z, e + 16), c);
  EXPECT_EQ(u16_at(z, e + 20), 0);
  expect_readers_accept(dir.file("mydb-yedek-2024-01-05-14.zip"), {{script, data}});
}

TEST(Archiver, EmptyArchivesAreTheEndRecordAlone) {
  TempDir dir;
  const std::string end_record = std::string("PK\x05\x06", 4) + std::string(18, '\0');
  {
    TZipArchiver a;
    configure(a);
    a.SetFileName(u16(dir.file("open-close.zip")));
    a.Open(kCreateMode);
    a.Close();
  }
  {
    TZipArchiver a;
    configure(a);
    a.SetFileName(u16(dir.file("missing.zip")));
    a.Open(kCreateMode);
    a.AddFromMask(u16(dir.file("no-such-file.sql")));
    a.Close();
  }
  for (const char* f : {"open-close.zip", "missing.zip"}) {
    EXPECT_EQ(read_all(dir.file(f)), end_record) << f;
    expect_readers_accept(dir.file(f), {});
  }
}

TEST(Archiver, EmptySourceIsStoredAndChecksumsAreStandard) {
  TempDir dir;
  std::string z = read_all(archive_one(dir, "empty.sql", ""));
  EXPECT_EQ(u16_at(z, 4), 20);
  EXPECT_EQ(u16_at(z, 8), 0);    // stored
  EXPECT_EQ(u32_at(z, 14), 0u);  // CRC
  EXPECT_EQ(u32_at(z, 18), 0u);
  EXPECT_EQ(u32_at(z, 22), 0u);
  EXPECT_EQ(z.size(), 98u + 2 * 9);
  expect_readers_accept(dir.file("a.zip"), {{"empty.sql", ""}});

  z = read_all(archive_one(dir, "check.txt", "123456789", "b.zip"));
  EXPECT_EQ(u32_at(z, 14), 0xCBF43926u);
  EXPECT_EQ(u32_at(z, 30 + 9 + u32_at(z, 18) + 16), 0xCBF43926u);  // central header CRC
  expect_readers_accept(dir.file("b.zip"), {{"check.txt", "123456789"}});
}

// A folder searched with wildcards: block-boundary sizes, a subfolder, hidden
// and read-only files, a stored mask and an exclusion.
TEST(Archiver, WildcardMaskCollectsTheTree) {
  TempDir dir;
  std::filesystem::create_directories(dir.file("src/sub"));
  const ziptest::Contents files = {
      {"a.sql", sql_text(524288)}, {"b.sql", sql_text(524289)}, {"c.sql", ""},
      {"sub/d.sql", "123456789"},  {".gizli.sql", "hidden"},    {"e.png", sql_text(5000)},
      {"ro.sql", "read only"},
  };
  for (const auto& [n, d] : files) write_all(dir.file("src/" + n), d);
  write_all(dir.file("src/skip.tmp.sql"), "excluded");
  write_all(dir.file("src/note.txt"), "not matched");
  ::chmod(dir.file("src/ro.sql").c_str(), 0444);

  TZipArchiver a;
  configure(a);
  a.NoCompressionMasks().push_back(u"*.png");
  a.SetFileName(u16(dir.file("src/all.sql")));  // the archive itself matches the mask
  a.Open(kCreateMode);
  a.SetBaseDir(u16(dir.file("src")));
  // Folders matched by "*" are offered as folder entries (search attribute 0x10).
  a.AddFromMask(u"*.sql", 10431 & ~0x10, u"*.tmp.sql");
  a.AddFromMask(u"*.png");
  std::map<std::u16string, const TDirItem*> by_name;
  for (const auto& i : a.Items()) by_name[i.Name] = &i;
  a.Close();

  EXPECT_EQ(by_name.size(), files.size());
  ASSERT_TRUE(by_name.count(u"ro.sql") && by_name.count(u".gizli.sql") && by_name.count(u"e.png"));
  EXPECT_EQ(by_name[u"a.sql"]->ExternalAttributes, 0x20u);
  EXPECT_EQ(by_name[u"ro.sql"]->ExternalAttributes, 0x21u);
  EXPECT_EQ(by_name[u".gizli.sql"]->ExternalAttributes, 0x22u);
  EXPECT_EQ(by_name[u"e.png"]->Method, 0);
  EXPECT_EQ(by_name[u"b.sql"]->Method, 8);
  EXPECT_EQ(by_name[u"c.sql"]->Method, 0);
  expect_readers_accept(dir.file("src/all.sql"), files);
  // Every entry checks out with the reader of this library too.
  for (const auto& e : list_archive(dir.file("src/all.sql")).entries)
    EXPECT_TRUE(verify_entry(dir.file("src/all.sql"), e.name_bytes).ok) << e.name_bytes;
}

TEST(Archiver, FolderEntriesWithTheFolderAttribute) {
  TempDir dir;
  std::filesystem::create_directories(dir.file("src/klas\xC3\xB6r"));
  write_all(dir.file("src/klas\xC3\xB6r/x.sql"), "x");
  TZipArchiver a;
  configure(a);
  a.SetFileName(u16(dir.file("f.zip")));
  a.Open(kCreateMode);
  a.SetBaseDir(u16(dir.file("src")));
  a.AddFromMask(u"*");
  ASSERT_EQ(a.Items().size(), 2u);
  EXPECT_TRUE(a.Items()[0].Name == u"klas\u00F6r/");
  EXPECT_EQ(a.Items()[0].Flags, 2);
  EXPECT_EQ(a.Items()[0].ExternalAttributes, 0x10u);
  a.Close();
  expect_readers_accept(dir.file("f.zip"), {{"x", "x"}}, ziptest::Names::None);
}

TEST(Archiver, NamesInCodePage857OrUtf8) {
  TempDir dir;
  const std::string turkish = "m\xC3\xBC\xC5\x9Fteri-\xC4\xB1\xC4\x9F.sql";  // müşteri-ığ.sql
  const std::string cyrillic = "\xD0\xB1\xD0\xB0\xD0\xB7\xD0\xB0.sql";       // база.sql
  std::string z = read_all(archive_one(dir, turkish, "tr", "tr.zip"));
  EXPECT_EQ(u16_at(z, 6) & 0x0800, 0);
  EXPECT_EQ(z.substr(30, u16_at(z, 26)), "m\x81\x9Fteri-\x8D\xA7.sql");
  std::size_t c = 30 + u16_at(z, 26) + u32_at(z, 18);
  EXPECT_EQ(u16_at(z, c + 8) & 0x0800, 0);
  EXPECT_EQ(z.substr(c + 46, u16_at(z, c + 28)), "m\x81\x9Fteri-\x8D\xA7.sql");
  expect_readers_accept(dir.file("tr.zip"), {{turkish, "tr"}}, ziptest::Names::None);

  z = read_all(archive_one(dir, cyrillic, "ru", "ru.zip"));
  EXPECT_EQ(u16_at(z, 6), 0x0800);
  EXPECT_EQ(z.substr(30, u16_at(z, 26)), cyrillic);
  c = 30 + u16_at(z, 26) + u32_at(z, 18);
  EXPECT_EQ(u16_at(z, c + 8), 0x0800);
  expect_readers_accept(dir.file("ru.zip"), {{cyrillic, "ru"}}, ziptest::Names::AllButUnzip);
}

TEST(Archiver, CreateModeTruncatesAnExistingArchive) {
  TempDir dir;
  archive_one(dir, "first.sql", sql_text(3000));
  ASSERT_EQ(list_archive(dir.file("a.zip")).entries.size(), 1u);
  archive_one(dir, "second.sql", "later");
  auto l = list_archive(dir.file("a.zip"));
  ASSERT_EQ(l.entries.size(), 1u);
  EXPECT_EQ(l.entries[0].name_bytes, "second.sql");
  expect_readers_accept(dir.file("a.zip"), {{"second.sql", "later"}});
}

TEST(Archiver, UpdatingAnExistingArchiveKeepsTheOtherEntries) {
  TempDir dir;
  for (const char* n : {"a.sql", "b.sql", "c.sql"}) write_all(dir.file(n), sql_text(40000) + n);
  {
    TZipArchiver a;
    configure(a);
    a.SetFileName(u16(dir.file("u.zip")));
    a.SetBaseDir(u16(dir.path()));
    a.BeginUpdate();  // opens (creates) the archive itself
    a.AddFromMask(u"a.sql");
    a.AddFromMask(u"b.sql");
    a.AddFromMask(u"c.sql");
    a.EndUpdate();
    a.Close();
  }
  write_all(dir.file("b.sql"), "new b");
  {
    TZipArchiver a;
    configure(a);
    a.SetFileName(u16(dir.file("u.zip")));
    a.Open();  // existing: read-write
    ASSERT_EQ(a.Items().size(), 3u);
    a.SetBaseDir(u16(dir.path()));
    a.AddFromMask(u"b.sql");  // replaced in place; c.sql moves up from the temporary copy
    a.Options().OverwriteMode = omNever;
    write_all(dir.file("c.sql"), "never");
    a.AddFromMask(u"c.sql");
    a.Close();
  }
  auto l = list_archive(dir.file("u.zip"));
  ASSERT_EQ(l.entries.size(), 3u);
  EXPECT_EQ(l.entries[1].name_bytes, "b.sql");
  expect_readers_accept(dir.file("u.zip"), {{"a.sql", sql_text(40000) + "a.sql"},
                                            {"b.sql", "new b"},
                                            {"c.sql", sql_text(40000) + "c.sql"}});
}

TEST(Archiver, Zip64RecordsWhenAlwaysOn) {
  TempDir dir;
  write_all(dir.file("z.sql"), sql_text(70000));
  write_all(dir.file("y.sql"), "");
  TZipArchiver a;
  configure(a);
  a.SetZip64Mode(zmAlways);
  a.SetFileName(u16(dir.file("z.zip")));
  a.Open(kCreateMode);
  a.SetBaseDir(u16(dir.path()));
  a.AddFromMask(u"*.sql");
  a.Close();
  std::string z = read_all(dir.file("z.zip"));
  EXPECT_EQ(u16_at(z, 4), 45);
  // Both sizes of a Zip64 local header are left to its extra field.
  EXPECT_EQ(u32_at(z, 18), 0xFFFFFFFFu);
  EXPECT_EQ(u32_at(z, 22), 0xFFFFFFFFu);
  EXPECT_EQ(u16_at(z, 28), 20);
  EXPECT_TRUE(verify_entry(dir.file("z.zip"), "z.sql").ok);
  expect_readers_accept(dir.file("z.zip"), {{"z.sql", sql_text(70000)}, {"y.sql", ""}});
}

TEST(Archiver, ErrorsOfTheLifeCycle) {
  TempDir dir;
  TZipArchiver a;
  configure(a);
  auto native_of = [&](auto&& f) {
    const auto e = expect_throw<EZipException>(f);
    return e ? std::make_pair(e->NativeError(), std::string(e->what()))
             : std::make_pair(0, std::string());
  };
  a.SetFileName(u"");
  EXPECT_EQ(native_of([&] { a.Open(kCreateMode); }),
            std::make_pair(10, std::string("ZipArchiver1: File name is blank. Specify appropriate "
                                           "file name - Native error: 00010")));
  a.SetFileName(u16(dir.path() + "/"));
  EXPECT_EQ(native_of([&] { a.Open(kCreateMode); }).first, 10);
  EXPECT_EQ(
      native_of([&] { a.AddFromMask(u"x"); }),
      std::make_pair(13, std::string("ZipArchiver1: Archive is not open - Native error: 00013")));
  a.SetFileName(u16(dir.file("none.zip")));
  EXPECT_EQ(native_of([&] { a.Open(0x22); }),
            std::make_pair(12, "ZipArchiver1: File \"" + dir.file("none.zip") +
                                   "\" not found - Native error: 00012"));
  write_all(dir.file("bad.zip"), "this is no archive at all");
  a.SetFileName(u16(dir.file("bad.zip")));
  EXPECT_EQ(native_of([&] { a.Open(0x22); }).first, 48);
  a.SetFileName(u16(dir.file("nodir/x.zip")));
  expect_throw<platform::EFCreateError>([&] { a.Open(kCreateMode); },
                                        "Cannot create file \"" + dir.file("nodir/x.zip") +
                                            "\". The system cannot find the file specified");
  a.SetFileName(u16(dir.file("ok.zip")));
  a.Open(kCreateMode);
  EXPECT_THROW(a.SetSpanningMode(smSplitting), std::runtime_error);
  a.Close();
}

// A source another process holds exclusively goes through the question.
TEST(Archiver, LockedSourceAsksAbortRetryIgnore) {
  struct UnlockingUi : FakeUserInterface {
    int lock_fd = -1;
    platform::FailureAnswer AskAbortRetryIgnore(const std::string& t, bool r) override {
      if (lock_fd >= 0) ::flock(lock_fd, LOCK_UN);  // the other process lets go
      return FakeUserInterface::AskAbortRetryIgnore(t, r);
    }
  };
  const struct {
    FailureAnswer answer;
    bool entry_written;
  } cases[] = {{FailureAnswer::kRetry, true},
               {FailureAnswer::kIgnore, false},
               {FailureAnswer::kAbort, false}};
  for (auto c : cases) {
    SCOPED_TRACE(static_cast<int>(c.answer));
    TempDir dir;
    write_all(dir.file("locked.sql"), "data");
    int fd = ::open(dir.file("locked.sql").c_str(), O_RDONLY);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    UnlockingUi ui;
    ui.lock_fd = fd;
    ui.answers = {c.answer};
    TZipArchiver a;
    configure(a);
    a.SetFileName(u16(dir.file("l.zip")));
    a.Open(kCreateMode);
    a.SetBaseDir(u16(dir.path()));
    a.AddFromMask(u16(dir.file("locked.sql")));  // returns normally in every case
    a.Close();
    ::close(fd);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].kind, FakeUserInterface::Box::kQuestion);
    EXPECT_TRUE(ui.boxes[0].allow_retry);
    EXPECT_EQ(ui.boxes[0].text, "ZipArchiver1: Cannot open file \"" + dir.file("locked.sql") +
                                    "\" - Native error: 00033. File processing error, possibly "
                                    "disk is full");
    if (c.entry_written) {
      expect_readers_accept(dir.file("l.zip"), {{"locked.sql", "data"}});
    } else {
      EXPECT_EQ(read_all(dir.file("l.zip")).size(), 22u);
      expect_readers_accept(dir.file("l.zip"), {});
    }
  }
}

// Windows stopped at 259 characters; here a path goes as far as the system
// takes it (4,095 bytes), in deep folders.
TEST(Archiver, LongPathsInDeepFoldersAreArchived) {
  for (const std::size_t length : {300u, 1000u, 4000u}) {
    SCOPED_TRACE(length);
    TempDir dir;
    std::string deep = dir.path();
    while (deep.size() < length - 60) deep += "/klasor-klasor";
    std::filesystem::create_directories(deep);
    const std::string path = deep + "/" + std::string(length - deep.size() - 5, 'u') + ".sql";
    ASSERT_EQ(path.size(), length);
    write_all(path, sql_text(5000));
    FakeUserInterface ui;
    TZipArchiver a;
    configure(a);
    a.SetFileName(u16(dir.file("long.zip")));
    a.Open(kCreateMode);
    a.AddFromMask(u16(path));  // the base folder is the current one: a full path
    a.Close();
    EXPECT_TRUE(ui.boxes.empty());
    const std::string stored = path.substr(1);  // without the leading '/'
    ASSERT_EQ(list_archive(dir.file("long.zip")).entries.size(), 1u);
    EXPECT_TRUE(verify_entry(dir.file("long.zip"), stored).ok);
    // Extracted below a folder of the readers the longest name would pass the
    // system's limit: that one is only tested.
    if (length < 4000)
      expect_readers_accept(dir.file("long.zip"), {{stored, sql_text(5000)}});
    else
      EXPECT_EQ(testsupport::run_shell("unzip -tq " + dir.file("long.zip") + " >/dev/null"), 0);
  }
}

// Zip64 values only when an entry needs them: below 4 GiB an archive made
// with Zip64 on is byte for byte the one made with it off.
TEST(Archiver, Zip64OnLeavesSmallArchivesAsTheyWere) {
  TempDir dir;
  write_all(dir.file("s.sql"), sql_text(900000));
  std::string made[2];
  int k = 0;
  for (const TZip64Mode mode : {zmDisabled, zmAuto}) {
    TZipArchiver a;
    configure(a);
    a.SetZip64Mode(mode);
    a.SetFileName(u16(dir.file("m.zip")));
    a.Open(kCreateMode);
    a.SetBaseDir(u16(dir.path()));
    a.AddFromMask(u16(dir.file("s.sql")));
    a.Close();
    made[k++] = read_all(dir.file("m.zip"));
  }
  EXPECT_TRUE(made[0] == made[1]);
  EXPECT_EQ(u16_at(made[1], 4), 20);
  EXPECT_EQ(u16_at(made[1], 28), 0);
}

// A full device: the entry that does not fit is rolled back and what the
// archive held before stays byte for byte.
TEST(Archiver, FullDiskLeavesEarlierDataIntact) {
  TempDir dir;
  write_all(dir.file("first.sql"), sql_text(20000));
  write_all(dir.file("second.sql"), sql_text(600000));
  for (FailureAnswer answer :
       {FailureAnswer::kAbort, FailureAnswer::kIgnore, FailureAnswer::kRetry}) {
    SCOPED_TRACE(static_cast<int>(answer));
    FakeUserInterface ui;
    ui.answers = {answer};  // a retry meets the full disk again, then Abort
    MemoryStream disk;
    TZipArchiver a;
    configure(a);
    a.SetFileName(u"disk.zip");
    a.Open(&disk);
    a.SetBaseDir(u16(dir.path()));
    a.AddFromMask(u"first.sql");
    const std::string before = disk.data_;
    disk.capacity = before.size() + 50000;
    a.AddFromMask(u"second.sql");
    a.Close();
    EXPECT_TRUE(disk.data_ == before);
    ASSERT_GE(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text,
              "Disk is full. There is not enough free space on disk. - Native error: 00065. File "
              "processing error, possibly disk is full");
    EXPECT_EQ(ui.boxes.size(), answer == FailureAnswer::kRetry ? 2u : 1u);
    write_all(dir.file("disk.zip"), disk.data_);
    expect_readers_accept(dir.file("disk.zip"), {{"first.sql", sql_text(20000)}});
  }
}

TEST(Archiver, DirectoryWriteFailureRollsBackAndRaises) {
  TempDir dir;
  write_all(dir.file("first.sql"), "one");
  write_all(dir.file("second.sql"), "two");
  MemoryStream disk;
  TZipArchiver a;
  configure(a);
  a.SetFileName(u"disk.zip");
  a.Open(&disk);
  a.SetBaseDir(u16(dir.path()));
  a.AddFromMask(u"first.sql");
  const std::string before = disk.data_;
  // Room for the entry but not for the directory behind it.
  disk.capacity = before.size() + 30 + 10 + 3 + 20;
  const auto e = expect_throw<EZipException>([&] { a.AddFromMask(u"second.sql"); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->NativeError(), kErrWriteToStream);
  EXPECT_TRUE(disk.data_ == before);
  EXPECT_EQ(a.Items().size(), 1u);
  EXPECT_TRUE(a.Active());
}

// Finishing or undoing an archive that cannot be written is an error the
// caller hears about, never a success with a broken file behind it.
TEST(Archiver, ErrorsOfFinishingAndUndoingReachTheCaller) {
  TempDir dir;
  {
    // Close of an empty archive writes its end record: a full disk raises.
    MemoryStream disk;
    disk.capacity = 10;
    TZipArchiver a;
    configure(a);
    a.Open(&disk);
    auto e = expect_throw<EZipException>([&] { a.Close(); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->NativeError(), kErrWriteToStream);
    EXPECT_FALSE(a.Active());
  }
  {
    // A cancelled replacement puts the old archive back; when that copy
    // cannot be written, the update fails instead of leaving a cut archive.
    write_all(dir.file("first.sql"), "one");
    MemoryStream disk;
    TZipArchiver a;
    configure(a);
    a.Open(&disk);
    a.SetBaseDir(u16(dir.path()));
    a.AddFromMask(u"first.sql");
    disk.capacity = disk.data_.size() - 1;
    a.OnFileProgress = [](TZipBaseArchiver*, const std::u16string&, double, TZipProcessOperation,
                          TZipProgressPhase, bool& cancel) { cancel = true; };
    auto e = expect_throw<EZipException>([&] { a.AddFromMask(u"first.sql"); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->NativeError(), kErrWriteToStream);
  }
  {
    // A directory that does not parse: native error 48, the finding nested.
    write_all(dir.file("bad.zip"), "PK\x05\x06 but no end record");
    TZipArchiver a;
    configure(a);
    a.SetFileName(u16(dir.file("bad.zip")));
    try {
      a.Open(kOpenReadWriteDenyWrite);
      ADD_FAILURE() << "opened";
    } catch (const EZipException& e) {
      EXPECT_EQ(e.NativeError(), kErrArchiveDamaged);
      EXPECT_THROW(std::rethrow_if_nested(e), EArchiveCheckError);
    }
  }
}

TEST(Archiver, EventsCancelAndHandleFailures) {
  TempDir dir;
  write_all(dir.file("a.sql"), sql_text(600000));
  write_all(dir.file("b.sql"), "b");
  {
    // Cancel while the data is written: rolled back, no exception.
    TZipArchiver a;
    configure(a);
    std::vector<TZipProgressPhase> phases;
    a.OnFileProgress = [&](TZipBaseArchiver*, const std::u16string&, double, TZipProcessOperation,
                           TZipProgressPhase p, bool& cancel) {
      phases.push_back(p);
      if (p == ppProcess && phases.size() > 2) cancel = true;
    };
    a.SetFileName(u16(dir.file("c.zip")));
    a.Open(kCreateMode);
    a.SetBaseDir(u16(dir.path()));
    a.AddFromMask(u"a.sql");
    a.Close();
    EXPECT_EQ(read_all(dir.file("c.zip")).size(), 22u);
  }
  {
    // An assigned failure handler decides instead of the question.
    FakeUserInterface ui;
    TZipArchiver a;
    configure(a);
    int calls = 0;
    a.OnProcessFileFailure = [&](TZipBaseArchiver*, const std::u16string& name,
                                 TZipProcessOperation op, int native, int code, const std::string&,
                                 TZipAction& action) {
      ++calls;
      EXPECT_EQ(op, poAdd);
      EXPECT_EQ(native, 33);
      EXPECT_EQ(code, 12);
      EXPECT_EQ(action, fxaIgnore);
      EXPECT_TRUE(name == u16(dir.file("a.sql")));
    };
    int skip = ::open(dir.file("a.sql").c_str(), O_RDONLY);
    ::flock(skip, LOCK_EX);
    a.SetFileName(u16(dir.file("h.zip")));
    a.Open(kCreateMode);
    a.SetBaseDir(u16(dir.path()));
    a.AddFromMask(u"?.sql");
    a.Close();
    ::close(skip);
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(ui.boxes.empty());
    expect_readers_accept(dir.file("h.zip"), {{"b.sql", "b"}});
  }
}
