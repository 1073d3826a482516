// What every Qt test of a window shares: a temporary folder of its own that
// holds the data folder, and the scripted platform (FakePlatformScope) with
// its dialogs, both made in init() and undone in cleanup().
#pragma once

#include <QDir>
#include <QObject>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

#include "platform/FakePlatform.h"
#include "platform/Paths.h"

class SessionTestBase : public QObject {
 protected:
  // Makes the folder, makes `dataFolder` inside it (a name ending in '/';
  // empty: the folder itself) the data folder and installs the scripted
  // platform. False when no temporary folder could be made.
  bool StartSession(const QString& dataFolder = QString()) {
    dir_ = std::make_unique<QTemporaryDir>();
    if (!dir_->isValid()) return false;
    if (!dataFolder.isEmpty()) QDir().mkpath(P(dataFolder));
    arkelin::platform::SetDataFolderOverride(P(dataFolder).toStdString());
    fake_ = std::make_unique<arkelin::platform::FakePlatformScope>();
    return true;
  }
  // Removes the scripted platform, the data folder override and the folder.
  void EndSession() {
    fake_.reset();
    arkelin::platform::SetDataFolderOverride("");
    dir_.reset();
  }

  // `rel` inside the test's folder.
  QString P(const QString& rel) const { return dir_->path() + "/" + rel; }
  // The texts of the messages the scripted dialogs showed, in order.
  QStringList Texts() const {
    QStringList out;
    for (const auto& t : fake_->dialogs.Texts()) out << QString::fromStdString(t);
    return out;
  }

  std::unique_ptr<QTemporaryDir> dir_;
  std::unique_ptr<arkelin::platform::FakePlatformScope> fake_;
};
