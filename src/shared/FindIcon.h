// TRFindIcon finds the icon the desktop shows for a file name, in a large
// (32 x 32) and a small (16 x 16) size, from the name's extension alone. The
// extension's type comes from the freedesktop MIME database (through the
// platform's file-type service) and its image from the current icon theme.
// The finder keeps its last answer and looks again only when the extension
// changes (compared without regard to case) or one of its six fall-back
// images was replaced, so lists with runs of one file type are cheap.
//
// It needs a QGuiApplication (icons become pixmaps) and runs on the
// user-interface thread. It never reads file contents.
#pragma once

#include <QIcon>
#include <cstdint>
#include <string>

namespace arkelin::shared {

class TRFindIcon {
 public:
  // How the last answer was found.
  enum TIconResult : uint8_t {
    irError = 0,       // the theme named an icon but it could not be drawn
    irExecutable = 1,  // ".exe"
    irDefault = 2,     // no extension, unregistered type or no themed image
    irFound = 3,       // the type's image from the icon theme
  };

  // The program's own images, embedded in the program.
  enum TOwnImage : uint8_t { oiDefault, oiExecutable, oiNoExtension };

  // Starts with the theme's generic images ("application-x-generic",
  // "application-x-executable") as default, executable and no-extension
  // images, or with the program's own ones when the theme lacks them.
  TRFindIcon();

  // The last file name whose icons were looked up.
  const std::string& FileName() const { return fileName_; }
  // Looks the icons up for name (with or without folders, "\" or "/") when
  // its extension differs from the stored name's, compared in lower case, or
  // a fall-back image was replaced since; otherwise keeps the stored name and
  // the icons.
  void SetFileName(const std::string& name);

  // The answer for FileName().
  const QIcon& LargeIcon() const { return large_; }
  const QIcon& SmallIcon() const { return small_; }
  TIconResult Result() const { return result_; }

  // The six fall-back images. Setting one copies it and forces the next
  // SetFileName to look again.
  const QIcon& LargeDefaultIcon() const { return largeDefault_; }
  const QIcon& SmallDefaultIcon() const { return smallDefault_; }
  const QIcon& LargeExeIcon() const { return largeExe_; }
  const QIcon& SmallExeIcon() const { return smallExe_; }
  const QIcon& LargeNoExtIcon() const { return largeNoExt_; }
  const QIcon& SmallNoExtIcon() const { return smallNoExt_; }
  void SetLargeDefaultIcon(const QIcon& icon);
  void SetSmallDefaultIcon(const QIcon& icon);
  void SetLargeExeIcon(const QIcon& icon);
  void SetSmallExeIcon(const QIcon& icon);
  void SetLargeNoExtIcon(const QIcon& icon);
  void SetSmallNoExtIcon(const QIcon& icon);

  // How many lookups were made so far (the cache's effect can be measured).
  int LookupCount() const { return lookups_; }

  // One of the program's own images, 32 or 16 pixels square.
  static QIcon OwnImage(TOwnImage which, bool large);

  // The extension of name's file part, from its last "." (empty when none).
  static std::string ExtensionOf(const std::string& name);

  // Chooses an installed icon theme when the desktop named none (a bare
  // session or the offscreen platform), so themed images can be found.
  static void EnsureIconTheme();

 private:
  void Lookup();
  void AnswerDefault(TIconResult why);

  std::string fileName_;
  QIcon large_, small_;
  TIconResult result_ = irDefault;
  QIcon largeDefault_, smallDefault_, largeExe_, smallExe_, largeNoExt_, smallNoExt_;
  bool lookAgain_ = true;
  int lookups_ = 0;
};

}  // namespace arkelin::shared
