// Methods beyond plain deflate: Deflate64 written by 7z extracts byte for
// byte, hand-built streams exercise its extended length and distance codes
// and its damage checks, and PPMd entries are refused by name while the
// other entries of the archive extract.
#include <gtest/gtest.h>

#include <random>
#include <set>

#include "DeflateBits.h"
#include "UnzTestUtil.h"
#include "engine/zip/dll/common/ArchiveFile.h"
#include "engine/zip/dll/common/CentralDirectory.h"
#include "engine/zip/dll/unz/Deflate64.h"

using namespace unztest;
using deflatetest::BitWriter;
namespace dll = arkelin::engine::zip::dll;

namespace {

std::vector<dll::CentralEntry> Entries(const fs::path& z) {
  dll::ArchiveFile f;
  dll::CentralDirectory dir;
  if (!f.Open(z.string()) || !dll::ReadCentralDirectory(f, dir).Ok()) return {};
  return dir.entries;
}

class UnzDllMethods : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(Library::Get().exec); }
  TempDir tmp_;
};

// Data that makes a Deflate64 writer use the far distances and the long
// lengths: a 50 KB random block repeated with small changes, long runs, and
// noise that stays literal.
void MakeFarMatchTree(const fs::path& root) {
  std::mt19937 rng(64);
  std::string block(50000, '\0');
  for (auto& c : block) c = static_cast<char>(rng() % 64 + 32);
  std::string far;
  for (int i = 0; i < 60; ++i) {
    std::string copy = block;
    copy[rng() % copy.size()] = '#';
    far += copy;
  }
  WriteFile(root / "far.txt", far);
  WriteFile(root / "runs.bin", std::string(700000, 'x') + std::string(300000, 'y'));
  std::string noise(200000, '\0');
  for (auto& c : noise) c = static_cast<char>(rng());
  WriteFile(root / "deep/noise.bin", noise);
}

TEST_F(UnzDllMethods, Deflate64From7zExtractsByteIdentical) {
  MakeSourceTree(tmp_ / "src");
  MakeFarMatchTree(tmp_ / "src");
  const fs::path z = tmp_ / "d64.zip";
  ASSERT_EQ(Sh("cd " + Q(tmp_ / "src") + " && 7z a -tzip -mm=Deflate64 -mx=9 " + Q(z) + " ."), 0);
  // 7z stores what does not shrink; the rest must be Deflate64.
  std::set<std::string> deflate64;
  for (const auto& e : Entries(z))
    if (e.method == 9) deflate64.insert(e.name);
  for (const char* n : {"far.txt", "runs.bin", "text.txt", "sub/deeper/inner.txt"})
    EXPECT_EQ(deflate64.count(n), 1u) << n << " was not written as Deflate64";

  Call x;
  x.archive = z.string();
  x.Run();
  EXPECT_TRUE(x.Errors().empty()) << x.AllErrors();
  EXPECT_EQ(Tree(tmp_.Out()), Tree(tmp_ / "src"));

  Call t;
  t.archive = z.string();
  t.test = true;
  EXPECT_EQ(t.Run(), 9);
  EXPECT_TRUE(t.Errors().empty()) << t.AllErrors();
}

TEST_F(UnzDllMethods, DamagedDeflate64LeavesNothingBehind) {
  MakeFarMatchTree(tmp_ / "src");
  const fs::path z = tmp_ / "d64.zip";
  ASSERT_EQ(Sh("cd " + Q(tmp_ / "src") + " && 7z a -tzip -mm=Deflate64 " + Q(z) + " far.txt"), 0);
  const auto entries = Entries(z);
  ASSERT_EQ(entries.size(), 1u);
  ASSERT_EQ(entries[0].method, 9);
  std::string bytes = ReadAll(z);
  std::mt19937 rng(9);
  const size_t data = entries[0].localOffset + 30 + entries[0].rawName.size() + 40;
  for (int k = 0; k < 20; ++k) bytes[data + rng() % (entries[0].compressedSize - 60)] ^= static_cast<char>(1 + rng() % 255);
  WriteFile(z, bytes);
  WriteFile(tmp_.Out() / "far.txt", "kept\n");
  Call x;
  x.archive = z.string();
  x.overwrite = true;
  EXPECT_EQ(x.Run(), 0);
  EXPECT_FALSE(x.Errors().empty());
  EXPECT_EQ(ReadAll(tmp_.Out() / "far.txt"), "kept\n");
  EXPECT_EQ(Tree(tmp_.Out()).size(), 1u) << "a temporary file was left";
}

TEST_F(UnzDllMethods, PpmdEntriesAreRefusedByNameAndTheOthersExtract) {
  WriteFile(tmp_ / "src" / "text.txt", std::string(20000, 'p') + "pmd\n");
  WriteFile(tmp_ / "src" / "plain.txt", "deflated\n");
  const fs::path z = tmp_ / "mixed.zip";
  ASSERT_EQ(Sh("cd " + Q(tmp_ / "src") + " && 7z a -tzip -mm=PPMd " + Q(z) + " text.txt && 7z a -tzip -mm=Deflate " +
               Q(z) + " plain.txt"),
            0);
  Call x;
  x.archive = z.string();
  EXPECT_EQ(x.Run(), 1);
  EXPECT_TRUE(x.HasError("text.txt: unsupported method PPMd")) << x.AllErrors();
  EXPECT_EQ(Tree(tmp_.Out()), (std::map<std::string, std::string>{{"plain.txt", "deflated\n"}}));
  Call t;
  t.archive = z.string();
  t.test = true;
  EXPECT_EQ(t.Run(), 1);
  EXPECT_TRUE(t.HasError("unsupported method PPMd")) << t.AllErrors();
}

dll::Inflate64Status Inflate(const std::string& stream, std::string& out, std::string& detail) {
  size_t pos = 0;
  const dll::Inflate64Read read = [&](uint8_t* buf, size_t n) -> int64_t {
    // Small pieces, so refills happen inside codes and stored blocks.
    n = std::min<size_t>({n, 7, stream.size() - pos});
    std::memcpy(buf, stream.data() + pos, n);
    pos += n;
    return static_cast<int64_t>(n);
  };
  const dll::Inflate64Write write = [&](const uint8_t* d, size_t n) {
    out.append(reinterpret_cast<const char*>(d), n);
    return true;
  };
  return dll::Inflate64(read, write, detail);
}

TEST(Inflate64, ExtendedLengthAndDistanceCodes) {
  std::mt19937 rng(1);
  std::string history(65536, '\0');
  for (auto& c : history) c = static_cast<char>(rng());
  BitWriter w;
  w.Stored(history.substr(0, 40000), false);
  w.Stored(history.substr(40000), false);
  // Fixed block: "ab", then length code 285 (3 + 16 extra bits) = 1003 at
  // distance 2, then 300 bytes from 65536 back (distance code 31), then 20
  // bytes from 40000 back (distance code 30: 32769 + 7231).
  w.Put(1, 1);
  w.Put(1, 2);
  w.Literal('a');
  w.Literal('b');
  w.Sym(285);
  w.Put(1000, 16);
  w.Code(1, 5);  // distance code 1: 2
  w.Sym(285);
  w.Put(297, 16);
  w.Code(31, 5);
  w.Put(65536 - 49153, 14);
  w.Sym(269);  // lengths 19..22 (2 extra bits): 20
  w.Put(1, 2);
  w.Code(30, 5);
  w.Put(40000 - 32769, 14);
  w.Sym(256);
  w.Align();

  std::string expect = history + "ab";
  for (int i = 0; i < 1003; ++i) expect += expect[expect.size() - 2];
  for (int i = 0; i < 300; ++i) expect += expect[expect.size() - 65536];
  for (int i = 0; i < 20; ++i) expect += expect[expect.size() - 40000];

  std::string out, detail;
  ASSERT_EQ(Inflate(w.out, out, detail), dll::Inflate64Status::kOk) << detail;
  EXPECT_TRUE(out == expect);

  // Cut anywhere inside the stream, it says so and never passes as whole.
  for (size_t cut : {size_t{3}, size_t{40003}, w.out.size() - 2, w.out.size() - 1}) {
    SCOPED_TRACE(cut);
    std::string part, why;
    EXPECT_EQ(Inflate(w.out.substr(0, cut), part, why), dll::Inflate64Status::kDataError);
    EXPECT_NE(why.find("ends early"), std::string::npos) << why;
  }
}

TEST(Inflate64, DamageIsReportedNotGuessed) {
  auto fails = [](const std::string& stream, const char* what) {
    std::string out, detail;
    EXPECT_EQ(Inflate(stream, out, detail), dll::Inflate64Status::kDataError) << what;
    return detail;
  };
  using deflatetest::Damage;
  using deflatetest::DamagedStream;
  EXPECT_NE(fails(DamagedStream(Damage::kBlockType3), "type").find("block type"), std::string::npos);
  EXPECT_NE(fails(DamagedStream(Damage::kTooFarBack), "distance").find("before the start"), std::string::npos);
  EXPECT_NE(fails(DamagedStream(Damage::kStoredLengthCheck), "stored").find("stored block"), std::string::npos);
  EXPECT_NE(fails(DamagedStream(Damage::kOversubscribedCodeLengths), "oversubscribed").find("damaged code"),
            std::string::npos);
  EXPECT_NE(fails(DamagedStream(Damage::kLength286), "286").find("length code"), std::string::npos);
  // A writer that stops is told apart from damage.
  BitWriter w;
  w.Stored("stop here", true);
  const std::string stream = w.out;
  size_t pos = 0;
  std::string detail;
  const dll::Inflate64Read read = [&](uint8_t* buf, size_t n) -> int64_t {
    n = std::min(n, stream.size() - pos);
    std::memcpy(buf, stream.data() + pos, n);
    pos += n;
    return static_cast<int64_t>(n);
  };
  EXPECT_EQ(dll::Inflate64(read, [](const uint8_t*, size_t) { return false; }, detail),
            dll::Inflate64Status::kStopped);
  EXPECT_EQ(dll::Inflate64([](uint8_t*, size_t) -> int64_t { return -1; },
                           [](const uint8_t*, size_t) { return true; }, detail),
            dll::Inflate64Status::kReadError);
}

}  // namespace
