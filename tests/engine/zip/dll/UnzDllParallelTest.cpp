// libunzdll decoding on worker threads: the events (names, progress,
// messages, questions) come in the same order and with the same contents as
// when everything runs on the calling thread; a damaged entry among many is
// reported for itself while the others extract; a stop in the middle of
// many files leaves only complete files and no temporary; entries that write
// the same name keep the order of the archive; AES entries whose keys the
// workers derive ask for a password once, in turn.
#include <gtest/gtest.h>

#include <cstdlib>

#include "UnzTestUtil.h"

using namespace unztest;

namespace {

// Sets the number of worker threads for the runs of one scope.
class Threads {
 public:
  explicit Threads(int n) { setenv("ARKELIN_UNZIP_THREADS", std::to_string(n).c_str(), 1); }
  ~Threads() { unsetenv("ARKELIN_UNZIP_THREADS"); }
};

// Events without the keep-alive calls, which only let the caller breathe.
std::vector<Event> Significant(const std::vector<Event>& events) {
  std::vector<Event> r;
  for (const auto& e : events)
    if (e.action != kActionKeepAlive) r.push_back(e);
  return r;
}

std::string Describe(const std::vector<Event>& events, size_t at) {
  std::string s;
  for (size_t i = at > 3 ? at - 3 : 0; i < std::min(events.size(), at + 4); ++i)
    s += (i == at ? "> " : "  ") + std::to_string(events[i].action) + " " + std::to_string(events[i].error) + " " +
         std::to_string(events[i].size) + " " + events[i].text + "\n";
  return s;
}

void ExpectSameEvents(const std::vector<Event>& serial, const std::vector<Event>& parallel) {
  const auto a = Significant(serial), b = Significant(parallel);
  for (size_t i = 0; i < std::min(a.size(), b.size()); ++i) {
    const bool same = a[i].action == b[i].action && a[i].error == b[i].error && a[i].size == b[i].size &&
                      a[i].text == b[i].text;
    ASSERT_TRUE(same) << "event " << i << " differs\none thread:\n"
                      << Describe(a, i) << "workers:\n"
                      << Describe(b, i);
  }
  EXPECT_EQ(a.size(), b.size());
}

// Temporary files of the extraction root left anywhere below `root`.
std::vector<std::string> Leftovers(const fs::path& root) {
  std::vector<std::string> r;
  for (const auto& e : fs::recursive_directory_iterator(root))
    if (e.path().filename().string().rfind(".arkz-", 0) == 0) r.push_back(e.path().string());
  return r;
}

class UnzDllParallel : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Library::Get().exec) << "libunzdll.so not loadable from " << ARKELIN_BIN_DIR << ": " << dlerror();
  }
  // An archive of many small entries of every method, a few large ones
  // between them (one stored, one deflated, above the worker and memory
  // limits), folders, an empty file, and names that repeat or nest in a
  // file's name; Python writes it. Answers the names of the file entries in
  // archive order.
  void MakeMixed(const fs::path& archive, const std::string& extra = "") {
    ASSERT_EQ(Py(tmp_.Path(),
                 "import zipfile, random\n"
                 "r = random.Random(5)\n"
                 "z = zipfile.ZipFile('" + archive.string() + "', 'w')\n"
                 "methods = [zipfile.ZIP_DEFLATED, zipfile.ZIP_STORED, zipfile.ZIP_BZIP2, zipfile.ZIP_LZMA]\n"
                 "words = b'alpha beta gamma delta archive entry folder engine data block '.split()\n"
                 "for i in range(400):\n"
                 "  if i % 97 == 0: z.writestr('dir%d/' % i, b'')\n"
                 "  n = r.randint(0, 3000) if i % 50 else r.randint(300000, 1500000)\n"
                 "  body = b' '.join(r.choice(words) for _ in range(n // 6))\n"
                 "  if i == 120: body = bytes(r.getrandbits(8) for _ in range(700000))\n"
                 "  z.writestr('dir%d/f%03d.txt' % (i // 97 * 97, i), body, compress_type=methods[i % 4])\n"
                 "z.writestr('empty.txt', b'')\n" +
                     extra + "z.close()\n"),
              0);
  }
  TempDir tmp_;
};

TEST_F(UnzDllParallel, ExtractAndTestGiveTheSameEventsAsOneThread) {
  MakeMixed(tmp_ / "m.zip",
            // The same name twice (the later one is kept), and a folder
            // where a file of the archive already is.
            "z.writestr('twice.txt', b'first')\n"
            "z.writestr('twice.txt', b'second, the one that counts')\n"
            "z.writestr('plain', b'a file')\n"
            "z.writestr('plain/inner.txt', b'cannot go below a file')\n");
  for (const bool test : {false, true}) {
    SCOPED_TRACE(test ? "test" : "extract");
    Call one, many;
    one.archive = many.archive = (tmp_ / "m.zip").string();
    one.test = many.test = test;
    one.overwrite = many.overwrite = true;
    int32_t n1 = 0, n4 = 0;
    {
      Threads t(0);
      n1 = one.Run();
    }
    const auto tree1 = Tree(tmp_.Out());
    tmp_.ClearOut();
    {
      Threads t(4);
      n4 = many.Run();
    }
    const auto tree4 = Tree(tmp_.Out());
    tmp_.ClearOut();
    EXPECT_EQ(n1, n4);
    EXPECT_GT(n1, 400);
    ExpectSameEvents(one.events, many.events);
    EXPECT_EQ(tree1, tree4);
    if (!test) {
      EXPECT_EQ(tree4.at("twice.txt"), "second, the one that counts");
      EXPECT_EQ(tree4.at("plain"), "a file");
      EXPECT_TRUE(many.HasError("plain/inner.txt")) << many.AllErrors();
    }
  }
}

TEST_F(UnzDllParallel, FilesAreAnnouncedInArchiveOrder) {
  MakeMixed(tmp_ / "m.zip");
  ASSERT_EQ(Py(tmp_.Path(), "import zipfile\n"
                            "z = zipfile.ZipFile('" + (tmp_ / "m.zip").string() + "')\n"
                            "open('" + (tmp_ / "names.txt").string() + "', 'w').write("
                            "'\\n'.join(n for n in z.namelist() if not n.endswith('/')))\n"),
            0);
  std::vector<std::string> expected;
  std::istringstream names(ReadAll(tmp_ / "names.txt"));
  for (std::string line; std::getline(names, line);) expected.push_back(line);
  Threads t(2);
  Call c;
  c.archive = (tmp_ / "m.zip").string();
  c.test = true;
  ASSERT_EQ(c.Run(), static_cast<int32_t>(expected.size())) << c.AllErrors();
  std::vector<std::string> announced;
  int64_t newFileBytes = 0, updateBytes = 0;
  for (const auto& e : c.events) {
    if (e.action == kActionNewFile) {
      announced.push_back(e.text);
      newFileBytes += e.size;
    }
    if (e.action == kActionUpdate) updateBytes += e.size;
  }
  EXPECT_EQ(announced, expected);
  // Every decoded byte is counted once, whichever thread decoded it.
  EXPECT_EQ(updateBytes, newFileBytes);
}

TEST_F(UnzDllParallel, ADamagedEntryIsReportedWhileTheOthersExtract) {
  // A stored entry among many, one byte changed in its data: a CRC error
  // for that entry only.
  ASSERT_EQ(Py(tmp_.Path(),
               "import zipfile\n"
               "p = '" + (tmp_ / "d.zip").string() + "'\n"
               "z = zipfile.ZipFile(p, 'w')\n"
               "for i in range(300):\n"
               "  z.writestr('f%03d.txt' % i, ('entry %d ' % i) * (i * 7 + 1),\n"
               "             compress_type=zipfile.ZIP_STORED if i == 150 else zipfile.ZIP_DEFLATED)\n"
               "z.close()\n"
               "z = zipfile.ZipFile(p)\n"
               "info = z.getinfo('f150.txt')\n"
               "data = bytearray(open(p, 'rb').read())\n"
               "start = info.header_offset + 30 + len(info.filename) + len(info.extra)\n"
               "data[start + 40] ^= 0x20\n"
               "open(p, 'wb').write(data)\n"),
            0);
  for (const bool test : {false, true}) {
    SCOPED_TRACE(test ? "test" : "extract");
    Threads t(2);
    Call c;
    c.archive = (tmp_ / "d.zip").string();
    c.test = test;
    EXPECT_EQ(c.Run(), 299);
    ASSERT_EQ(c.Errors().size(), 1u) << c.AllErrors();
    EXPECT_NE(c.Errors()[0].find("f150.txt: CRC error"), std::string::npos) << c.AllErrors();
    if (!test) {
      const auto tree = Tree(tmp_.Out());
      EXPECT_EQ(tree.size(), 299u);
      EXPECT_EQ(tree.count("f150.txt"), 0u);
      EXPECT_EQ(tree.at("f151.txt"), [] {
        std::string s;
        for (int k = 0; k < 151 * 7 + 1; ++k) s += "entry 151 ";
        return s;
      }());
      EXPECT_TRUE(Leftovers(tmp_.Out()).empty());
      tmp_.ClearOut();
    }
  }
}

TEST_F(UnzDllParallel, AStopInTheMiddleOfManyFilesLeavesOnlyCompleteFiles) {
  // Stops at a file's start, and in the middle of a large entry's data.
  MakeMixed(tmp_ / "m.zip");
  {
    Threads t(0);
    Call full;
    full.archive = (tmp_ / "m.zip").string();
    ASSERT_GT(full.Run(), 400) << full.AllErrors();
  }
  const auto complete = Tree(tmp_.Out());
  tmp_.ClearOut();
  for (const bool inData : {false, true}) {
    SCOPED_TRACE(inData ? "stop during a large entry" : "stop at a file's start");
    Threads t(2);
    Call c;
    c.archive = (tmp_ / "m.zip").string();
    int files = 0, updates = 0;
    bool stopped = false;
    c.stopWhen = [&](const Event& e) {
      if (stopped) return 0;
      if (e.action == kActionNewFile) ++files;
      if (!inData && e.action == kActionNewFile && files == 180) stopped = true;
      // f200 is one of the large entries: stop at its second update.
      if (inData && e.action == kActionUpdate && files > 0 && c.Of(kActionNewFile).back().text == "dir194/f200.txt" &&
          ++updates == 2)
        stopped = true;
      return stopped ? 1 : 0;
    };
    const int32_t n = c.Run();
    ASSERT_TRUE(stopped);
    const auto sig = Significant(c.events);
    ASSERT_FALSE(sig.empty());
    EXPECT_EQ(sig.back().action, inData ? kActionUpdate : kActionNewFile) << "no event after the stop answer";
    const auto tree = Tree(tmp_.Out());
    // What is there is complete, and exactly the files finished before the
    // stop; nothing of the entries prepared ahead is left.
    EXPECT_EQ(static_cast<int32_t>(tree.size()), n);
    EXPECT_GE(n, 170);
    for (const auto& [name, contents] : tree) {
      ASSERT_TRUE(complete.count(name)) << name;
      EXPECT_EQ(contents, complete.at(name)) << name << " is not complete";
    }
    EXPECT_TRUE(Leftovers(tmp_.Out()).empty());
    tmp_.ClearOut();
  }
}

TEST_F(UnzDllParallel, AesKeysDerivedByWorkersAskForAPasswordOnceInTurn) {
  fs::create_directories(tmp_ / "src");
  for (int i = 0; i < 60; ++i)
    WriteFile(tmp_ / "src" / ("f" + std::to_string(100 + i) + ".txt"), std::string(i * 50 + 1, 'a' + i % 26));
  ASSERT_EQ(Sh("cd " + Q(tmp_ / "src") + " && 7z a -tzip -mem=AES256 -psecret -bd " + Q(tmp_ / "a.zip") + " ."), 0);
  std::vector<Event> serial;
  for (const int threads : {0, 2}) {
    SCOPED_TRACE(threads);
    Threads t(threads);
    Call c;
    c.archive = (tmp_ / "a.zip").string();
    c.password = "wrong";
    c.passwordAnswers = {"secret"};
    EXPECT_EQ(c.Run(), 60) << c.AllErrors();
    EXPECT_EQ(c.Of(kActionPassword).size(), 1u);
    EXPECT_EQ(Tree(tmp_.Out()), Tree(tmp_ / "src"));
    if (threads == 0) serial = c.events;
    else ExpectSameEvents(serial, c.events);
    tmp_.ClearOut();
  }
}

}  // namespace
