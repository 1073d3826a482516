// Takes pictures of the multiple file extraction window (filled, and during
// a pass), the search window and the results window for checking by eye:
// run it under a virtual display with a folder holding archives and an
// output folder ("arkelin_window_tool_screenshots folder out/"). Not a test.
#include <QApplication>
#include <QDir>
#include <QThread>

#include "platform/Platform.h"
#include "platform/qt/QtPlatform.h"
#include "search/forms/U_Result.h"
#include "search/forms/U_Seach.h"
#include "window/U_mfe.h"
#include "window/mainunit.h"
#include "PictureTools.h"

using namespace arkelin::window;
namespace pf = arkelin::platform;

namespace {
// Answers every box with OK at once; the file dialog with the archives.
class ScriptedDialogs : public pf::IDialogs {
 public:
  std::vector<std::string> files;
  pf::Button MessageBox(const std::string&, pf::MsgKind, pf::Buttons) override { return pf::BtnOK; }
  pf::Button MessageBoxCaption(const std::string&, const std::string&, pf::MsgKind, pf::Buttons) override {
    return pf::BtnOK;
  }
  std::optional<std::string> InputBox(const std::string&, const std::string&, const std::string&, bool) override {
    return std::nullopt;
  }
  std::vector<std::string> OpenFiles(const pf::FileDialogRequest&) override { return files; }
  std::optional<std::string> SaveFile(const pf::FileDialogRequest&) override { return std::nullopt; }
  std::optional<std::string> ChooseFolder(const std::string&, const std::string&) override { return std::nullopt; }
};
}  // namespace

int main(int argc, char** argv) {
  PictureApp app(argc, argv);
  if (argc < 3) return 2;
  const QString folder = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
  const QString out = QString::fromLocal8Bit(argv[2]);
  QDir().mkpath(out);
  ScriptedDialogs dialogs;
  pf::Services s = pf::Current();
  s.dialogs = &dialogs;
  pf::Install(s);
  for (const QString& n : QDir(folder).entryList({"*.zip", "*.rar"}, QDir::Files, QDir::Name))
    dialogs.files.push_back((folder + "/" + n).toStdString());

  TMainform f;
  f.resize(640, 420);
  f.show();
  Settle();

  TF_MFE::SetShowHook([&](TF_MFE& m) {
    m.ed_Defdir->setText(QDir::tempPath() + "/arkelin-shots-out");
    m.bu_Add->click();
    m.show();
    Settle();
    m.grab().save(out + "/mfe-window.png");
    bool taken = false;
    m.Pass().OnFile = [&](const std::string& n) { m.la_File->setText(QString::fromStdString(n)); };
    auto onArchive = m.Pass().OnArchive;
    m.Pass().OnArchive = [&, onArchive](const std::string& a) {
      onArchive(a);
      if (taken) return;
      taken = true;
      m.ProgressBar1->setRange(0, 10);
      m.ProgressBar1->setValue(4);
      Settle();
      m.grab().save(out + "/mfe-window-extracting.png");
    };
    m.bu_Start->click();
    m.bu_Cancel->click();
  });
  f.Item("Multiplefileextracting1")->trigger();

  using arkelin::search::TF_Result;
  using arkelin::search::TF_Search;
  TF_Search::SetShowHook([&](TF_Search& w) {
    w.ed_Startin->setText(folder);
    w.ed_file->setText(QStringLiteral("*.*"));
    w.show();
    Settle();
    w.grab().save(out + "/search-window.png");
    w.bu_Start->click();
  });
  TF_Result::SetShowHook([&](TF_Result& r) {
    r.show();
    r.StringGrid1->selectRow(0);
    Settle();
    r.grab().save(out + "/results-window.png");
    r.bu_Close->click();
  });
  f.Item("Searchforarchives1")->trigger();
  return 0;
}
