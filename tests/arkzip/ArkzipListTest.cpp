// arkzip list against zipinfo: names, sizes, CRCs and MS-DOS dates agree for
// every fixture zipinfo can read and for archives written by zip, 7z, bsdtar
// and Python's zipfile. Also the exit codes of the list command.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "engine/common/CodePage437.h"
#include "ShellRun.h"

namespace {

namespace fs = std::filesystem;

struct Row {
  std::string name;
  unsigned long long size = 0, packed = 0;
  std::string crc, date;
  bool operator==(const Row&) const = default;
};

// `cmd` in the C locale and UTC, its errors dropped.
ShellRun Shell(const std::string& cmd) { return RunShell("LC_ALL=C.UTF-8 TZ=UTC " + cmd + " 2>/dev/null"); }

std::string Arkzip() { return std::string(ARKELIN_BIN_DIR) + "/arkzip"; }
std::string Quote(const std::string& s) { return "'" + s + "'"; }

std::string Trim(const std::string& s) {
  size_t a = s.find_first_not_of(' '), b = s.find_last_not_of(' ');
  return a == std::string::npos ? "" : s.substr(a, b - a + 1);
}

// zipinfo -v: one block per central directory entry.
std::vector<Row> ParseZipinfo(const std::string& text) {
  static const std::map<std::string, int> months = {{"Jan", 1}, {"Feb", 2}, {"Mar", 3}, {"Apr", 4},
                                                    {"May", 5}, {"Jun", 6}, {"Jul", 7}, {"Aug", 8},
                                                    {"Sep", 9}, {"Oct", 10}, {"Nov", 11}, {"Dec", 12}};
  std::vector<Row> rows;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("Central directory entry #", 0) == 0) {
      std::getline(in, line);  // dashes
      // Then a blank line, possibly zipinfo's own warnings, and the name
      // indented by two blanks.
      while (std::getline(in, line) &&
             (line.rfind("  ", 0) != 0 || line.rfind("  There are an extra ", 0) == 0)) {
      }
      rows.push_back({});
      rows.back().name = line.size() > 2 ? line.substr(2) : "";
      continue;
    }
    if (rows.empty()) continue;
    auto value = [&](const char* key) -> std::string {
      size_t k = line.find(key);
      if (k == std::string::npos) return {};
      return Trim(line.substr(line.find(':', k + std::string(key).size() - 1) + 1));
    };
    Row& r = rows.back();
    if (line.find("(DOS date/time):") != std::string::npos) {
      std::string v = value("(DOS date/time)");
      int y = 0, d = 0, h = 0, mi = 0, s = 0;
      char mon[8] = {};
      if (std::sscanf(v.c_str(), "%d %7s %d %d:%d:%d", &y, mon, &d, &h, &mi, &s) == 6) {
        int m = months.count(mon) ? months.at(mon) : 0;
        char buf[32];
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", y, m, d, h, mi, s);
        r.date = buf;
      }
    } else if (line.find("32-bit CRC value (hex):") != std::string::npos) {
      r.crc = value("32-bit CRC value (hex)");
    } else if (line.find("  compressed size:") == 0) {
      r.packed = std::stoull(value("compressed size"));
    } else if (line.find("  uncompressed size:") == 0) {
      r.size = std::stoull(value("uncompressed size"));
    }
  }
  return rows;
}

std::vector<Row> ParseArkzip(const std::string& text) {
  std::vector<Row> rows;
  std::istringstream in(text);
  std::string line;
  std::getline(in, line);  // Archive:
  std::getline(in, line);  // column titles
  while (std::getline(in, line)) {
    unsigned long long size, packed;
    int ratio;
    char date[11], time[9], crc[9];
    int used = 0;
    if (std::sscanf(line.c_str(), "%llu %llu %d%% %10s %8s %8s%n", &size, &packed, &ratio, date, time, crc,
                    &used) != 6)
      break;
    rows.push_back({line.substr(used + 2), size, packed, crc, std::string(date) + " " + time});
  }
  return rows;
}

// Compares one archive; names are compared where zipinfo printed valid UTF-8
// without escapes (it prints other bytes raw or as ^X).
void ExpectAgreement(const std::string& archive) {
  SCOPED_TRACE(archive);
  ShellRun zi = Shell("zipinfo -v " + Quote(archive));
  ASSERT_LE(zi.code, 1) << "zipinfo cannot read it";
  ShellRun ours = Shell(Arkzip() + " list " + Quote(archive));
  ASSERT_EQ(ours.code, 0);
  std::vector<Row> a = ParseZipinfo(zi.out), b = ParseArkzip(ours.out);
  ASSERT_EQ(a.size(), b.size());
  ASSERT_FALSE(a.empty() && zi.out.find("Central directory entry") != std::string::npos);
  for (size_t i = 0; i < a.size(); ++i) {
    SCOPED_TRACE(a[i].name);
    EXPECT_EQ(a[i].size, b[i].size);
    EXPECT_EQ(a[i].packed, b[i].packed);
    EXPECT_EQ(a[i].crc, b[i].crc);
    EXPECT_EQ(a[i].date, b[i].date);
    const bool comparable = arkelin::engine::common::IsValidUtf8(a[i].name) &&
                            a[i].name.find('^') == std::string::npos &&
                            a[i].name.find('\\') == std::string::npos;
    if (comparable) {
      EXPECT_EQ(a[i].name, b[i].name);
    }
  }
}

class ArkzipList : public ::testing::Test {
 protected:
  fs::path tmp_;
  void SetUp() override {
    tmp_ = fs::temp_directory_path() / ("arkzip-list-" + std::to_string(::getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(tmp_);
    fs::create_directories(tmp_ / "tree" / "sub dir" / "deeper");
    auto put = [&](const fs::path& p, const std::string& s) { std::ofstream(p, std::ios::binary) << s; };
    put(tmp_ / "tree" / "a.txt", "alpha alpha alpha alpha\n");
    put(tmp_ / "tree" / "empty", "");
    put(tmp_ / "tree" / "sub dir" / "b.bin", std::string(100000, 'b'));
    put(tmp_ / "tree" / "sub dir" / "deeper" / "gr\xc3\xbc\xc3\x9f" "e.txt", "utf-8 name");
    std::string noise;
    for (int i = 0; i < 50000; ++i) noise += static_cast<char>((i * 7919) ^ (i >> 3));
    put(tmp_ / "tree" / "noise.dat", noise);
  }
  void TearDown() override { fs::remove_all(tmp_); }
  std::string Made(const std::string& name) const { return (tmp_ / name).string(); }
};

TEST_F(ArkzipList, AgreesWithZipinfoOnEveryReadableFixture) {
  int compared = 0;
  for (const auto& f : fs::directory_iterator(std::string(ARKELIN_FIXTURES) + "/zip")) {
    ShellRun zi = Shell("zipinfo -v " + Quote(f.path().string()));
    if (zi.code > 1) continue;  // zipinfo cannot read it either
    ExpectAgreement(f.path().string());
    ++compared;
  }
  EXPECT_GE(compared, 30);
}

TEST_F(ArkzipList, AgreesWithZipinfoOnArchivesOfOtherArchivers) {
  const std::string tree = Quote((tmp_ / "tree").string());
  ASSERT_EQ(Shell("cd " + tree + " && zip -qr " + Quote(Made("zip.zip")) + " .").code, 0);
  ASSERT_EQ(Shell("cd " + tree + " && zip -qr -0 " + Quote(Made("stored.zip")) + " .").code, 0);
  ASSERT_EQ(Shell("cd " + tree + " && zip -qr -P secret " + Quote(Made("crypt.zip")) + " .").code, 0);
  ASSERT_EQ(Shell("cd " + tree + " && 7z a -tzip -bd " + Quote(Made("7z.zip")) + " . >/dev/null").code, 0);
  ASSERT_EQ(Shell("cd " + tree + " && bsdtar --format zip -cf " + Quote(Made("bsdtar.zip")) + " .").code, 0);
  ASSERT_EQ(Shell("cd " + tree + " && /usr/bin/python3 -c \"import zipfile,os\n"
                "z=zipfile.ZipFile('" + Made("py.zip") + "','w',zipfile.ZIP_DEFLATED)\n"
                "for r,d,f in os.walk('.'):\n"
                "  for n in d+f: z.write(os.path.join(r,n))\n"
                "z.comment=b'python comment'\nz.close()\"").code, 0);
  for (const char* n : {"zip.zip", "stored.zip", "crypt.zip", "7z.zip", "bsdtar.zip", "py.zip"}) {
    ExpectAgreement(Made(n));
    EXPECT_NE(Shell(Arkzip() + " list " + Quote(Made(n))).out.find("sub dir/deeper/gr\xc3\xbc\xc3\x9f" "e.txt"),
              std::string::npos) << n;
  }
}

TEST_F(ArkzipList, ExitCodesAndTotals) {
  std::ofstream(Made("bad.zip")) << "this is not an archive at all";
  EXPECT_EQ(Shell(Arkzip() + " list " + Quote(Made("bad.zip"))).code, 2);
  EXPECT_EQ(Shell(Arkzip() + " list").code, 2);
  EXPECT_EQ(Shell(Arkzip() + " frobnicate " + Quote(Made("bad.zip"))).code, 2);
  ASSERT_EQ(Shell("cd " + Quote((tmp_ / "tree").string()) + " && zip -qr " + Quote(Made("t.zip")) + " .").code, 0);
  ShellRun r = Shell(Arkzip() + " list " + Quote(Made("t.zip")));
  EXPECT_EQ(r.code, 0);
  EXPECT_NE(r.out.find("7 files, 150034 bytes uncompressed"), std::string::npos) << r.out;
}

}  // namespace
