// Rows dragged out of the archive window's file list onto a file manager or
// the desktop.
//
// DragOutData is the drag's data. It offers text/uri-list, and the files
// behind it are extracted only when a drop target asks for the list: into a
// private temporary folder (below the user's own temporary folder, mode
// 0700), with their folder names, and the list names the dragged entries'
// files themselves, never their folders. Where the window system is X11 and
// one entry is dragged, it offers the direct-save protocol (XDS) too: the
// proposed name sits in the XdndDirectSave0 property of the drag's source
// window, the drop target writes the URI it wants there and asks for
// XdndDirectSave0, and the file is extracted and put at that URI ("S"), or
// not ("F", and the target falls back to the list). A private format marks
// the data as the window's own, so a drag that ends inside the window does
// nothing.
//
// DragOut (the window's drag command) asks for the password before the drag
// starts when a dragged entry is encrypted and checks it against the first
// such entry's encryption header (a wrong one is asked again, a cancelled
// question or three wrong answers call the drag off), so nothing is ever
// asked during the drop; it runs the drag, and removes the
// temporary copies afterwards: at once when nothing was dropped, a minute
// later when a target took them (it copies after the drop), and at the
// latest when the window goes.
#pragma once

#include <QMimeData>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace arkelin::window {

class TMainform;

class DragOutData : public QMimeData {
  Q_OBJECT
 public:
  // Extracts the dragged entries into folder with their folder names; false
  // (with the reason) when not all came out.
  using Extractor = std::function<bool(const QString& folder, QString& why)>;
  // relativeFiles: the dragged entries as relative disk paths ("docs/a.txt").
  DragOutData(QStringList relativeFiles, Extractor extract, bool offerDirectSave);
  ~DragOutData() override;

  static QString OwnFormat();             // "application/x-arkelin-drag-out"
  static QString DirectSaveFormat();      // "XdndDirectSave0"
  // The direct-save target the drop target wrote (its property); set by DragOut.
  std::function<QByteArray()> ReadDirectSaveTarget;
  // Told of the temporary folder once it is made (the data may be gone by
  // the time the drag is over).
  std::function<void(const QString&)> OnFolderMade;

  QStringList formats() const override;
  bool hasFormat(const QString& mimeType) const override;

  // The temporary folder (made on the first request), and whether the
  // entries are there.
  QString TempFolder() const { return temp_; }
  bool Extracted() const { return extracted_; }
  const QString& Failure() const { return failure_; }
  // The name proposed to a direct-save target: the one entry's file name.
  QByteArray ProposedName() const;

 protected:
  QVariant retrieveData(const QString& mimeType, QMetaType type) const override;

 private:
  bool EnsureExtracted() const;
  QByteArray DirectSave() const;
  QStringList files_;
  Extractor extract_;
  bool directSave_ = false;
  mutable QString temp_;
  mutable bool tried_ = false, extracted_ = false;
  mutable QString failure_;
};

// Removes a temporary drag folder and everything below it (never following
// links), as long as it lies in the user's private temporary folder.
bool RemoveDragFolder(const QString& folder);

class DragOut {
 public:
  explicit DragOut(TMainform& w);
  ~DragOut();

  // The data for a drag of the selected rows; null when none is selected or
  // the password question was cancelled. Asks that question first.
  std::unique_ptr<DragOutData> Prepare();
  // Prepare(), then the drag from the file list, then the clean-up.
  void Start();
  // The drag has ended: its temporary copies go now or after a while.
  void Finished(const QString& tempFolder, bool dropped);
  // Temporary folders that still wait to be removed, and their removal.
  QStringList Pending() const { return pending_; }
  // The temporary folder of the last drag ("" when nothing was extracted).
  QString LastFolder() const { return last_; }
  void RemovePending();

 private:
  bool ExtractSelected(const QStringList& entries, const QString& folder, QString& why);
  // The password, asked until the entry's encryption header accepts it (a
  // few times at most); nothing when the question was cancelled or every
  // answer was wrong.
  std::optional<std::string> AskCheckedPassword(const QString& entry);
  bool PasswordRefused(const QString& entry, const std::string& password) const;
  TMainform& w_;
  QStringList pending_;
  QString last_;
};

}  // namespace arkelin::window
