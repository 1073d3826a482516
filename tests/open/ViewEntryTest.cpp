// The View command's rules without windows: format lists and graphic lists,
// entry paths below folders, and what the editor does when it closes over
// an archive entry (with scripted answers).
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "open/ViewEntry.h"
#include "platform/FakePlatform.h"
#include "platform/Paths.h"

using namespace arkelin::open;
namespace pf = arkelin::platform;
namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

TEST(GraphicFormats, FieldsFollowTheSemicolons) {
  EXPECT_EQ(FormatFields("JPG;BMP;GIF"), Strings({"JPG", "BMP", "GIF"}));
  EXPECT_EQ(FormatFields("JPG;"), Strings({"JPG"}));          // a last ";" adds no field
  EXPECT_EQ(FormatFields("a;;b"), Strings({"a", "", "b"}));
  EXPECT_EQ(FormatFields(""), Strings({""}));
  EXPECT_EQ(FormatFields("PNG; GIF"), Strings({"PNG", " GIF"}));  // blanks are kept
  EXPECT_EQ(GraphicFormatList(true, "TXT"), std::string("GIF;JPG;BMP;PNG"));
  EXPECT_EQ(GraphicFormatList(false, "TXT"), std::string("TXT"));
}

TEST(GraphicFormats, WhichSelectedEntriesAreGraphics) {
  const std::vector<SelectedEntry> sel = {
      {"one.jpg", "pics"}, {"notes.txt", ""}, {"Two.JPG", "pics\\old"}, {"anim.gif", ""}, {"README", "docs"}};
  // Field order first, then list order; the text entry is left out.
  EXPECT_EQ(GraphicList(FormatFields("GIF;JPG;BMP;PNG"), sel),
            Strings({"anim.gif", "pics\\one.jpg", "pics\\old\\Two.JPG"}));
  // An entry matching two fields comes twice.
  EXPECT_EQ(GraphicList(FormatFields("jpg;JPG"), {sel[0]}), Strings({"pics\\one.jpg", "pics\\one.jpg"}));
  // External viewer for PNG only: the GIF is no graphic.
  EXPECT_TRUE(GraphicList(FormatFields("PNG"), {sel[3]}).empty());
  // A blank after the semicolon does not match.
  EXPECT_TRUE(GraphicList(FormatFields("PNG; GIF"), {sel[3]}).empty());
  // An empty field matches entries without an extension.
  EXPECT_EQ(GraphicList(FormatFields("PNG;;"), sel), Strings({"docs\\README"}));
  EXPECT_EQ(ArchivePath({"a.txt", "x\\y"}), "x\\y\\a.txt");
  EXPECT_EQ(ArchivePath({"a.txt", "x\\"}), "x\\a.txt");
  EXPECT_EQ(ArchivePath({"a.txt", ""}), "a.txt");
}

TEST(EntryPaths, BelowAFolderAndNeverOutside) {
  EXPECT_EQ(BelowFolder("/tmp/v", "docs\\readme.txt"), "/tmp/v/docs/readme.txt");
  EXPECT_EQ(BelowFolder("/tmp/v/", "a.txt"), "/tmp/v/a.txt");
  EXPECT_EQ(BelowFolder("/tmp/v", "..\\..\\etc\\passwd"), "");
  EXPECT_EQ(BelowFolder("/tmp/v", "/etc/passwd"), "");
  EXPECT_EQ(BelowFolder("/tmp/v", "C:\\x.txt"), "");
  EXPECT_EQ(BelowFolder("/tmp/v", ""), "");
  const fs::path base = fs::temp_directory_path() / ("arkelin-onelevel-" + std::to_string(::getpid()));
  fs::remove_all(base);
  EXPECT_FALSE(MakeFolderOneLevel((base / "a/b").string()));   // the parent is missing
  EXPECT_TRUE(MakeFolderOneLevel(base.string()));
  EXPECT_TRUE(MakeFolderOneLevel(base.string()));              // already there
  EXPECT_TRUE(fs::is_directory(base));
  fs::remove_all(base);
}

namespace {
class EditorClosingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    data_ = fs::temp_directory_path() / ("arkelin-close-" + std::to_string(::getpid()));
    fs::remove_all(data_);
    fs::create_directories(data_);
    pf::SetDataFolderOverride(data_.string() + "/");
    state_.ViewedEntry = "docs\\readme.txt";
    state_.editBack = EditBack::Editing;
  }
  void TearDown() override {
    pf::SetDataFolderOverride("");
    fs::remove_all(data_);
  }
  std::function<std::string(const std::string&)> Writer(const std::string& text) {
    return [this, text](const std::string& path) {
      ++writes_;
      std::ofstream out(path);
      if (!out) return std::string("cannot open");
      out << text;
      return std::string();
    };
  }
  fs::path data_;
  ViewState state_;
  int writes_ = 0;
  pf::FakePlatformScope fake_;
};
}  // namespace

TEST_F(EditorClosingTest, UnchangedTextWritesAndAsksNothing) {
  EXPECT_TRUE(EditorClosing(state_, false, Writer("x")));
  EXPECT_EQ(state_.editBack, EditBack::Editing);
  EXPECT_EQ(state_.UpdateCopy, (data_ / "Edited/docs/readme.txt").string());
  EXPECT_EQ(writes_, 0);
  EXPECT_FALSE(fs::exists(data_ / "Edited"));
  EXPECT_TRUE(fake_.dialogs.boxes.empty());
  // Not showing an archive entry: nothing at all, modified or not.
  for (EditBack s : {EditBack::None, EditBack::UpdateWanted}) {
    state_.editBack = s;
    state_.UpdateCopy.clear();
    EXPECT_TRUE(EditorClosing(state_, true, Writer("x")));
    EXPECT_EQ(state_.editBack, s);
    EXPECT_TRUE(state_.UpdateCopy.empty());
  }
  EXPECT_EQ(writes_, 0);
  EXPECT_TRUE(fake_.dialogs.boxes.empty());
}

TEST_F(EditorClosingTest, ChangedTextIsWrittenInItsFolderAndYesOrNoDecides) {
  fake_.dialogs.answers = {pf::BtnYes};
  EXPECT_TRUE(EditorClosing(state_, true, Writer("edited")));
  EXPECT_EQ(state_.editBack, EditBack::UpdateWanted);
  std::ifstream in(state_.UpdateCopy);
  std::string got;
  std::getline(in, got);
  EXPECT_EQ(got, "edited");
  ASSERT_EQ(fake_.dialogs.boxes.size(), 1u);
  EXPECT_EQ(fake_.dialogs.boxes[0].text, "Update zipfile?");
  EXPECT_EQ(fake_.dialogs.boxes[0].kind, pf::MsgKind::Confirm);
  EXPECT_EQ(fake_.dialogs.boxes[0].buttons, pf::Buttons(pf::BtnYes | pf::BtnNo));

  state_.editBack = EditBack::Editing;
  fake_.dialogs.answers = {pf::BtnNo};
  EXPECT_TRUE(EditorClosing(state_, true, Writer("again")));
  EXPECT_EQ(state_.editBack, EditBack::None);
  EXPECT_FALSE(fs::exists(state_.UpdateCopy));
  // The program's own files cannot be hit by an entry's name.
  state_.ViewedEntry = "Arkelin.ini";
  state_.editBack = EditBack::Editing;
  std::ofstream(data_ / "Arkelin.ini") << "[settings]";
  fake_.dialogs.answers = {pf::BtnNo};
  EditorClosing(state_, true, Writer("over"));
  std::ifstream ini(data_ / "Arkelin.ini");
  std::getline(ini, got);
  EXPECT_EQ(got, "[settings]");
}

TEST_F(EditorClosingTest, ACopyThatCannotBeWrittenLetsTheUserKeepTheWindow) {
  auto failing = [](const std::string&) { return std::string("disk full"); };
  fake_.dialogs.answers = {pf::BtnNo, pf::BtnYes};
  EXPECT_FALSE(EditorClosing(state_, true, failing));
  EXPECT_EQ(state_.editBack, EditBack::Editing);
  EXPECT_TRUE(EditorClosing(state_, true, failing));
  EXPECT_EQ(state_.editBack, EditBack::None);
  ASSERT_EQ(fake_.dialogs.boxes.size(), 2u);
  EXPECT_NE(fake_.dialogs.boxes[0].text.find("disk full"), std::string::npos);
  EXPECT_EQ(fake_.dialogs.boxes[0].kind, pf::MsgKind::Error);
  // A name that would leave the folder is never written.
  state_.ViewedEntry = "..\\..\\outside.txt";
  state_.editBack = EditBack::Editing;
  fake_.dialogs.answers = {pf::BtnYes};
  EXPECT_TRUE(EditorClosing(state_, true, Writer("x")));
  EXPECT_EQ(writes_, 0);
  EXPECT_EQ(state_.editBack, EditBack::None);
}
