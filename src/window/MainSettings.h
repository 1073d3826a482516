// The live settings the archive window reads at the moment it acts.
//
// The configuration window's controls are the live settings; the archive
// window reads them through this small view so that it never depends on how
// that window lays them out, and so that its tests can set them directly.
// DefaultMainSettings answers the stored defaults and is in force until a
// configuration window is attached.
#pragma once

#include <QColor>
#include <QString>

namespace arkelin::window {

class IMainSettings {
 public:
  virtual ~IMainSettings() = default;
  // "Accept files outside Arkelin2001"
  virtual bool AcceptOutside() const = 0;
  // "Ask Zipname before if new archive"
  virtual bool AskZipName() const = 0;
  // "Default path and name of Zipfile:" as a disk path
  virtual QString DefaultZipName() const = 0;
  // Date and time format of the Modified column
  virtual QString DateFormat() const = 0;
  virtual QString TimeFormat() const = 0;
  // Start folder of the open dialog (kind "S"); empty leaves it to the platform.
  virtual QString OpenFolder() const = 0;
};

class DefaultMainSettings : public IMainSettings {
 public:
  bool acceptOutside = true;
  bool askZipName = true;
  QString defaultZipName;   // empty: Noname.zip in the home folder
  QString dateFormat = QStringLiteral("yyyy/mm/dd");
  QString timeFormat = QStringLiteral("hh:mm");
  QString openFolder;

  bool AcceptOutside() const override { return acceptOutside; }
  bool AskZipName() const override { return askZipName; }
  QString DefaultZipName() const override;
  QString DateFormat() const override { return dateFormat; }
  QString TimeFormat() const override { return timeFormat; }
  QString OpenFolder() const override { return openFolder; }
};

}  // namespace arkelin::window
