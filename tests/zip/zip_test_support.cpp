#include "tests/zip/zip_test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <set>
#include <sstream>

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

// Reads an entry whole from standard input, or from an archive with
// zipfile ("zip ARCHIVE NAME"), and prints its size, CRC-32, first and last
// 64 bytes in hex and the count of the needle (argument 1, hex).
const char* kPythonStream = R"(
import sys, zipfile, zlib
needle = bytes.fromhex(sys.argv[1])
if len(sys.argv) > 2:
    z = zipfile.ZipFile(sys.argv[3])
    bad = z.testzip()
    if bad is not None:
        print("bad entry", bad); sys.exit(1)
    info = z.getinfo(sys.argv[4])
    print("directory %d %d" % (info.file_size, info.CRC))
    src = z.open(info)
else:
    src = sys.stdin.buffer
size, crc, count, head, last, carry = 0, 0, 0, b"", b"", b""
while True:
    block = src.read(1 << 20)
    if not block: break
    if len(head) < 64: head = (head + block)[:64]
    last = (last + block)[-64:]
    size += len(block); crc = zlib.crc32(block, crc)
    data = carry + block
    count += data.count(needle) - carry.count(needle)
    carry = data[-(len(needle) - 1):] if len(needle) > 1 else b""
print("%d %d %s %s %d" % (size, crc, head.hex() or "-", last.hex() or "-", count))
)";

StreamedEntry parse_streamed(const std::string& line) {
  StreamedEntry e;
  std::istringstream in(line);
  std::string head, tail;
  in >> e.size >> e.crc32 >> head >> tail >> e.needles;
  auto unhex = [](const std::string& h) {
    std::string out;
    for (std::size_t i = 0; i + 1 < h.size(); i += 2)
      out += static_cast<char>(std::stoi(h.substr(i, 2), nullptr, 16));
    return out;
  };
  e.head = unhex(head);
  e.tail = unhex(tail);
  return e;
}

std::string hex_of(const std::string& s) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (unsigned char c : s) out += {digits[c >> 4], digits[c & 15]};
  return out;
}

}  // namespace

StreamedEntry expect_readers_stream(const std::string& archive, const std::string& name,
                                    const std::string& needle) {
  testsupport::TempDir tmp("zipstream");
  const std::string script = tmp.file("stream.py");
  testsupport::write_all(script, kPythonStream);
  const std::string a = shell_quote(archive), n = shell_quote(name);
  const std::string check = "/usr/bin/python3 " + shell_quote(script) + " " + hex_of(needle);
  const std::string log = tmp.file("log");
  auto run = [&](const std::string& reader, const std::string& command) {
    const int rc = run_shell("LC_ALL=C.UTF-8 " + command + " >" + shell_quote(log) + " 2>&1");
    const std::string out = testsupport::read_all(log);
    EXPECT_EQ(rc, 0) << reader << " rejects " << archive << ":\n" << out;
    return out;
  };
  run("unzip -t", "unzip -tq " + a);
  const std::string seven = run("7z t", "7z t -bd " + a);
  for (const char* complaint : {"Warning", "WARNING", "Headers Error", "ERROR"})
    EXPECT_EQ(seven.find(complaint), std::string::npos) << "7z says " << complaint << ":\n"
                                                        << seven;
  // Python's own reading: the directory's values, then the entry's.
  const std::string py = run("python zipfile", check + " zip " + a + " " + n);
  std::istringstream lines(py);
  std::string directory_line, entry_line;
  std::getline(lines, directory_line);
  std::getline(lines, entry_line);
  std::uint64_t listed_size = 0;
  std::uint32_t listed_crc = 0;
  std::istringstream(directory_line.substr(directory_line.find(' ') + 1)) >> listed_size >>
      listed_crc;
  const StreamedEntry python = parse_streamed(entry_line);
  EXPECT_EQ(python.size, listed_size) << "python zipfile";
  EXPECT_EQ(python.crc32, listed_crc) << "python zipfile";
  for (const auto& [reader, command] :
       {std::pair<std::string, std::string>{"unzip -p", "unzip -p " + a + " " + n + " | " + check},
        {"bsdtar -xOf", "bsdtar -xOf " + a + " " + n + " | " + check}}) {
    const StreamedEntry got = parse_streamed(run(reader, command));
    EXPECT_TRUE(got == python) << reader << " read " << got.size << " bytes, CRC " << got.crc32
                               << "; python read " << python.size << ", CRC " << python.crc32;
  }
  return python;
}

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
