// The freedesktop association lookup over small databases written into a
// temporary folder: MIME globs, aliases and subclasses, mimeapps.list files
// in their order, the MIME caches, desktop entries and their Exec lines.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/DesktopAssociations.h"
#include "platform/LinuxPlatform.h"

using namespace arkelin::platform;
namespace fs = std::filesystem;

namespace {

void Write(const fs::path& p, const std::string& text, bool executable = false) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << text;
  if (executable) ::chmod(p.c_str(), 0755);
}

std::string Entry(const std::string& exec, const std::string& extra = "") {
  return "[Desktop Entry]\nType=Application\nName=Test\nExec=" + exec + "\n" + extra;
}

class Associations : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("arkelin-assoc-" + std::to_string(::getpid()) + "-" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    f_.configHome = (root_ / "config").string();
    f_.configDirs = {(root_ / "etc").string()};
    f_.dataHome = (root_ / "home-data").string();
    f_.dataDirs = {(root_ / "data1").string(), (root_ / "data2").string()};
    f_.path = (root_ / "bin").string() + ":" + (root_ / "bin2").string();
    Write(root_ / "home-data/mime/globs2",
          "# comment\n50:text/plain:*.txt\n50:text/x-arktest:*.akt\n50:application/x-lowprio:*.pri\n");
    Write(root_ / "data1/mime/globs2",
          "80:application/x-highprio:*.pri\n50:application/x-oldname:*.old\n50:application/x-shellscript:*.sh\n"
          "50:text/x-casesensitive:*.CS:cs\n");
    Write(root_ / "data1/mime/aliases", "application/x-oldname application/x-newname\n");
    Write(root_ / "data1/mime/subclasses",
          "text/x-arktest text/plain\napplication/x-shellscript application/x-executable\n"
          "application/x-shellscript text/plain\n");
    Write(root_ / "bin/viewer", "#!/bin/sh\n", true);
    Write(root_ / "bin2/other", "#!/bin/sh\n", true);
    Write(root_ / "bin/notexec", "data\n", false);
  }
  void TearDown() override { fs::remove_all(root_); }

  fs::path root_;
  XdgFolders f_;
};

}  // namespace

TEST(ExecLine, FieldCodesQuotingAndRefusals) {
  using V = std::vector<std::string>;
  EXPECT_EQ(SplitExecLine("gedit %U"), V({"gedit"}));
  EXPECT_EQ(SplitExecLine("viewer --new-window %f %i %c %k"), V({"viewer", "--new-window"}));
  EXPECT_EQ(SplitExecLine("\"/opt/My App/run\" --x %F"), V({"/opt/My App/run", "--x"}));
  EXPECT_EQ(SplitExecLine("tool \"say \\\"hi\\\" \\$HOME \\\\ \\`x\\`\""), V({"tool", "say \"hi\" $HOME \\ `x`"}));
  EXPECT_EQ(SplitExecLine("tool 100%% %%f"), V({"tool", "100%", "%f"}));
  EXPECT_EQ(SplitExecLine("  tool\t%u  "), V({"tool"}));
  EXPECT_EQ(SplitExecLine("tool %d %D %n %N %v %m"), V({"tool"}));
  EXPECT_EQ(SplitExecLine("tool --file=%f"), std::nullopt);   // glued field code
  EXPECT_EQ(SplitExecLine("tool \"%f\""), std::nullopt);      // field code inside quotes
  EXPECT_EQ(SplitExecLine("tool %z"), std::nullopt);          // unknown code
  EXPECT_EQ(SplitExecLine("tool \"open"), std::nullopt);      // unclosed quote
  EXPECT_EQ(SplitExecLine("tool a\"b\""), std::nullopt);      // quote inside an argument
  EXPECT_EQ(SplitExecLine("tool %"), std::nullopt);
  EXPECT_EQ(SplitExecLine("%f"), std::nullopt);               // no program at all
  EXPECT_EQ(SplitExecLine(""), std::nullopt);
  EXPECT_EQ(UnescapeDesktopValue("a\\sb\\\\c\\td\\q"), "a b\\c\td\\q");
}

TEST(AssociationCommand, TheProgramRuleOfTheCommandText) {
  EXPECT_EQ(ProgramFromAssociationCommand("\"C:\\Program Files\\App\\app.exe\" \"%1\"", "C:\\WINDOWS"),
            "C:\\Program Files\\App\\app.exe");
  EXPECT_EQ(ProgramFromAssociationCommand("%SystemRoot%\\system32\\NOTEPAD.EXE %1", "C:\\WINDOWS"),
            "C:\\WINDOWS\\system32\\NOTEPAD.EXE");
  EXPECT_EQ(ProgramFromAssociationCommand("%systemroot%\\notepad.exe", "C:\\W"), "C:\\W\\notepad.exe");
  EXPECT_EQ(ProgramFromAssociationCommand("C:\\Tools\\app.exe %1", "C:\\WINDOWS"), "");
  EXPECT_EQ(ProgramFromAssociationCommand("", "C:\\WINDOWS"), "");
  EXPECT_EQ(ProgramFromAssociationCommand("\"/usr/bin/viewer --flag\" \"%f\"", ""), "/usr/bin/viewer --flag");
}

TEST_F(Associations, TypeOfAnExtensionFromTheGlobs) {
  DesktopAssociations db(f_);
  EXPECT_EQ(db.MimeTypeForExtension(".txt"), "text/plain");
  EXPECT_EQ(db.MimeTypeForExtension(".TXT"), "text/plain");          // case ignored
  EXPECT_EQ(db.MimeTypeForExtension(".pri"), "application/x-highprio");  // weight wins over folder order
  EXPECT_EQ(db.MimeTypeForExtension(".old"), "application/x-newname");   // alias resolved
  EXPECT_EQ(db.MimeTypeForExtension(".CS"), "text/x-casesensitive");
  EXPECT_EQ(db.MimeTypeForExtension(".cs"), "");                      // a case-sensitive glob
  EXPECT_EQ(db.MimeTypeForExtension(".nothing"), "");
  EXPECT_EQ(db.MimeTypeForExtension(""), "");
  const auto chain = db.TypeAndAncestors("application/x-shellscript");
  ASSERT_GE(chain.size(), 3u);
  EXPECT_EQ(chain[0], "application/x-shellscript");
  EXPECT_EQ(db.TypeAndAncestors("text/x-unknown"), std::vector<std::string>({"text/x-unknown", "text/plain"}));
  EXPECT_TRUE(db.IsProgramType(".sh"));
  EXPECT_FALSE(db.IsProgramType(".txt"));
  EXPECT_FALSE(db.IsProgramType(".nothing"));
}

TEST_F(Associations, DefaultApplicationFollowsTheListsInOrder) {
  Write(root_ / "data1/applications/viewer.desktop", Entry("viewer --flag %f"));
  Write(root_ / "data1/applications/other.desktop", Entry("other %U"));
  Write(root_ / "data2/applications/vendor/tool.desktop", Entry("other --tool %f"));
  // The user's list names an entry that is not installed, then a real one.
  Write(root_ / "config/mimeapps.list",
        "[Default Applications]\ntext/plain=missing.desktop;viewer.desktop;\n");
  Write(root_ / "etc/mimeapps.list", "[Default Applications]\ntext/plain=other.desktop\n");
  DesktopAssociations db(f_);
  auto app = db.DefaultApplication("text/plain");
  ASSERT_TRUE(app);
  EXPECT_EQ(app->id, "viewer.desktop");
  EXPECT_EQ(app->command, std::vector<std::string>({(root_ / "bin/viewer").string(), "--flag"}));
  EXPECT_EQ(db.AssociationCommand(".txt"), "\"" + (root_ / "bin/viewer").string() + " --flag\" \"%f\"");
  // A subclass without an entry of its own takes its parent's.
  EXPECT_EQ(db.AssociationCommand(".akt"), db.AssociationCommand(".txt"));
  // A desktop-specific list comes before the plain one of the same folder.
  f_.desktops = {"testdesk"};
  Write(root_ / "config/testdesk-mimeapps.list", "[Default Applications]\ntext/plain=vendor-tool.desktop\n");
  DesktopAssociations desk(f_);
  app = desk.DefaultApplication("text/plain");
  ASSERT_TRUE(app);
  EXPECT_EQ(app->id, "vendor-tool.desktop");   // found as vendor/tool.desktop
  EXPECT_EQ(app->command, std::vector<std::string>({(root_ / "bin2/other").string(), "--tool"}));
  EXPECT_EQ(desk.MimeAppsFiles().front(), (root_ / "config/testdesk-mimeapps.list").string());
}

TEST_F(Associations, AddedRemovedAndCachedAssociations) {
  Write(root_ / "data1/applications/viewer.desktop", Entry("viewer %f"));
  Write(root_ / "data2/applications/other.desktop", Entry("other %f"));
  Write(root_ / "data1/applications/mimeinfo.cache", "[MIME Cache]\ntext/plain=viewer.desktop;\n");
  Write(root_ / "data2/applications/mimeinfo.cache", "[MIME Cache]\ntext/plain=other.desktop;\n");
  DesktopAssociations db(f_);
  // No defaults anywhere: the first cached entry.
  auto app = db.DefaultApplication("text/plain");
  ASSERT_TRUE(app);
  EXPECT_EQ(app->id, "viewer.desktop");
  // Removed by the user: the next cache's entry.
  Write(root_ / "config/mimeapps.list", "[Removed Associations]\ntext/plain=viewer.desktop;\n");
  app = DesktopAssociations(f_).DefaultApplication("text/plain");
  ASSERT_TRUE(app);
  EXPECT_EQ(app->id, "other.desktop");
  // An added association of a later list is not hidden by its own removal list.
  Write(root_ / "config/mimeapps.list", "[Added Associations]\ntext/plain=other.desktop;\n");
  Write(root_ / "etc/mimeapps.list", "[Removed Associations]\ntext/plain=other.desktop;\n");
  app = DesktopAssociations(f_).DefaultApplication("text/plain");
  ASSERT_TRUE(app);
  EXPECT_EQ(app->id, "other.desktop");
  // Removed everywhere that offers it: none.
  Write(root_ / "config/mimeapps.list", "[Removed Associations]\ntext/plain=viewer.desktop;other.desktop\n");
  EXPECT_FALSE(DesktopAssociations(f_).DefaultApplication("text/plain"));
  EXPECT_EQ(DesktopAssociations(f_).AssociationCommand(".txt"), "");
}

TEST_F(Associations, EntriesThatCannotBeStartedAreSkipped) {
  const std::string dir = "data1/applications/";
  Write(root_ / (dir + "hidden.desktop"), Entry("viewer %f", "Hidden=true\n"));
  Write(root_ / (dir + "term.desktop"), Entry("viewer %f", "Terminal=true\n"));
  Write(root_ / (dir + "tryexec.desktop"), Entry("viewer %f", "TryExec=not-installed-anywhere\n"));
  Write(root_ / (dir + "link.desktop"), "[Desktop Entry]\nType=Link\nURL=http://x\nExec=viewer\n");
  Write(root_ / (dir + "noprog.desktop"), Entry("no-such-program %f"));
  Write(root_ / (dir + "notexec.desktop"), Entry("notexec %f"));
  Write(root_ / (dir + "blank.desktop"), Entry("viewer \"two words\" %f"));
  Write(root_ / (dir + "glued.desktop"), Entry("viewer --open=%f"));
  Write(root_ / (dir + "nogroup.desktop"), "Exec=viewer\n");
  Write(root_ / (dir + "escaped.desktop"), Entry("viewer\\s%f"));
  Write(root_ / (dir + "good.desktop"), Entry("viewer %f"));
  Write(root_ / "config/mimeapps.list",
        "[Default Applications]\ntext/plain=hidden.desktop;term.desktop;tryexec.desktop;link.desktop;"
        "noprog.desktop;notexec.desktop;blank.desktop;glued.desktop;nogroup.desktop;../x.desktop;"
        "escaped.desktop\n");
  DesktopAssociations db(f_);
  for (const char* id : {"hidden.desktop", "term.desktop", "tryexec.desktop", "link.desktop", "noprog.desktop",
                         "notexec.desktop", "blank.desktop", "glued.desktop", "nogroup.desktop", "../x.desktop"})
    EXPECT_FALSE(db.Launchable(id)) << id;
  // "\s" in the value is a blank: the escaped entry is usable.
  auto app = db.DefaultApplication("text/plain");
  ASSERT_TRUE(app);
  EXPECT_EQ(app->id, "escaped.desktop");
}

TEST_F(Associations, LinuxFileTypesReadTheEnvironmentsFolders) {
  Write(root_ / "data1/applications/viewer.desktop", Entry("viewer --flag %f"));
  Write(root_ / "config/mimeapps.list", "[Default Applications]\ntext/plain=viewer.desktop\n");
  struct EnvScope {
    std::vector<std::pair<std::string, std::optional<std::string>>> saved;
    void Set(const char* k, const std::string& v) {
      const char* old = std::getenv(k);
      saved.emplace_back(k, old ? std::optional<std::string>(old) : std::nullopt);
      ::setenv(k, v.c_str(), 1);
    }
    ~EnvScope() {
      for (auto& [k, v] : saved) v ? ::setenv(k.c_str(), v->c_str(), 1) : ::unsetenv(k.c_str());
    }
  } env;
  env.Set("XDG_CONFIG_HOME", f_.configHome);
  env.Set("XDG_CONFIG_DIRS", f_.configDirs[0]);
  env.Set("XDG_DATA_HOME", f_.dataHome);
  env.Set("XDG_DATA_DIRS", f_.dataDirs[0] + ":" + f_.dataDirs[1]);
  env.Set("XDG_CURRENT_DESKTOP", "");
  env.Set("PATH", f_.path);
  LinuxFileTypes types;
  EXPECT_EQ(types.AssociatedProgram(".txt"), (root_ / "bin/viewer").string() + " --flag");
  EXPECT_EQ(types.AssociatedProgram(".nothing"), "");
  EXPECT_TRUE(types.IsProgramType(".sh"));
  EXPECT_FALSE(types.IsProgramType(".txt"));
}
