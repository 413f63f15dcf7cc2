#include "tests/zip/zip_test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <set>

#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace ziptest {

std::int64_t MemoryStream::Read(void* buf, std::int64_t count) {
  if (count <= 0 || pos_ >= data_.size()) return 0;
  std::uint64_t n = std::min<std::uint64_t>(static_cast<std::uint64_t>(count), data_.size() - pos_);
  n = std::min<std::uint64_t>(n, readable);
  readable -= n;
  std::memcpy(buf, data_.data() + pos_, static_cast<std::size_t>(n));
  pos_ += n;
  return static_cast<std::int64_t>(n);
}

std::int64_t MemoryStream::Write(const void* buf, std::int64_t count) {
  ++write_calls;
  if (count <= 0) return 0;
  std::uint64_t room = pos_ >= capacity ? 0 : capacity - pos_;
  std::size_t n =
      static_cast<std::size_t>(std::min<std::uint64_t>(static_cast<std::uint64_t>(count), room));
  if (pos_ + n > data_.size()) data_.resize(static_cast<std::size_t>(pos_ + n));
  std::memcpy(data_.data() + pos_, buf, n);
  pos_ += n;
  return static_cast<std::int64_t>(n);
}

bool MemoryStream::Truncate() {
  data_.resize(static_cast<std::size_t>(pos_));
  return true;
}

std::uint32_t u32_at(const std::string& s, std::size_t off) {
  return static_cast<std::uint32_t>(u16_at(s, off)) |
         (static_cast<std::uint32_t>(u16_at(s, off + 2)) << 16);
}
std::uint16_t u16_at(const std::string& s, std::size_t off) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(s.at(off)) |
                                    (static_cast<unsigned char>(s.at(off + 1)) << 8));
}

namespace {

namespace fs = std::filesystem;
using testsupport::run_shell;
using testsupport::shell_quote;

// Every regular file below root, by its path relative to root.
Contents files_below(const std::string& root) {
  Contents out;
  for (const auto& e : fs::recursive_directory_iterator(root))
    if (e.is_regular_file())
      out[fs::relative(e.path(), root).string()] = testsupport::read_all(e.path().string());
  return out;
}

void expect_same(const std::string& reader, const Contents& got, const Contents& expected,
                 bool compare_names) {
  if (!compare_names) {
    std::multiset<std::string> a, b;
    for (const auto& [n, bytes] : got) a.insert(bytes);
    for (const auto& [n, bytes] : expected) b.insert(bytes);
    EXPECT_TRUE(a == b) << reader << " extracted other contents";
    return;
  }
  EXPECT_EQ(got.size(), expected.size()) << reader << " extracted another set of files";
  for (const auto& [name, bytes] : expected) {
    auto it = got.find(name);
    if (it == got.end()) {
      ADD_FAILURE() << reader << " did not extract " << name;
      continue;
    }
    EXPECT_TRUE(it->second == bytes) << reader << " extracted different bytes for " << name;
  }
}

const char* kPythonCheck = R"(
import sys, zipfile, os
z = zipfile.ZipFile(sys.argv[1])
bad = z.testzip()
if bad is not None:
    print("bad entry", bad); sys.exit(1)
for i in z.infolist():
    if i.is_dir(): continue
    data = z.read(i)
    path = os.path.join(sys.argv[2], i.filename)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    open(path, "wb").write(data)
)";

}  // namespace

void expect_readers_accept(const std::string& archive, const Contents& expected, Names names) {
  const std::string a = shell_quote(archive);
  struct Reader {
    const char* name;
    std::string test;     // command that must exit 0
    std::string extract;  // command extracting into $OUT
  };
  testsupport::TempDir tmp("zipread");
  const std::string script = tmp.file("check.py");
  testsupport::write_all(script, kPythonCheck);
  const Reader readers[] = {
      {"unzip", "unzip -tq " + a, "unzip -qq -o " + a + " -d OUT"},
      {"python zipfile", "/usr/bin/python3 " + shell_quote(script) + " " + a + " OUT", ""},
      {"7z", "7z t -bd " + a, "7z x -bd -y -oOUT " + a},
      {"bsdtar", "bsdtar -tvf " + a, "bsdtar -xf " + a + " -C OUT"},
  };
  int n = 0;
  for (const auto& r : readers) {
    std::string out = tmp.file("out" + std::to_string(n++));
    fs::create_directories(out);
    auto subst = [&](std::string cmd) {
      for (auto p = cmd.find("OUT"); p != std::string::npos; p = cmd.find("OUT", p + out.size()))
        cmd.replace(p, 3, shell_quote(out));
      return cmd;
    };
    int rc =
        run_shell("LC_ALL=C.UTF-8 " + subst(r.test) + " >" + shell_quote(out + ".log") + " 2>&1");
    // unzip reports an archive without entries with a warning and status 1.
    if (rc == 1 && expected.empty() && std::string(r.name) == "unzip" &&
        testsupport::read_all(out + ".log").find("zipfile is empty") != std::string::npos)
      rc = 0;
    EXPECT_EQ(rc, 0) << r.name << " rejects " << archive << ":\n"
                     << testsupport::read_all(out + ".log");
    if (!r.extract.empty() && !expected.empty()) {
      EXPECT_EQ(run_shell("LC_ALL=C.UTF-8 " + subst(r.extract) + " >/dev/null 2>&1"), 0)
          << r.name << " cannot extract";
    }
    const bool compare_names =
        names == Names::All || (names == Names::AllButUnzip && std::string(r.name) != "unzip");
    expect_same(r.name, files_below(out), expected, compare_names);
  }
}

}  // namespace ziptest
