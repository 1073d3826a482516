// File-type icons from the MIME database and the icon theme.
//
// The platform's file-type service names the icons worth trying for an
// extension, most specific first ("text-x-csrc", then "text-x-generic");
// the first one the theme carries is drawn at both sizes. An extension with
// no registered type, or a type the theme has no image for, gets the default
// images.
#include "shared/FindIcon.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPixmap>
#include <algorithm>
#include <cctype>

#include "platform/Platform.h"

namespace arkelin::shared {

namespace {

constexpr int kLarge = 32;
constexpr int kSmall = 16;

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

bool HaveGui() { return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr; }

// A themed image drawn at one size, or the fallback when the theme lacks it.
QIcon Themed(const char* name, int size, const QIcon& fallback) {
  if (!HaveGui() || !QIcon::hasThemeIcon(QString::fromLatin1(name))) return fallback;
  const QPixmap pm = QIcon::fromTheme(QString::fromLatin1(name)).pixmap(QSize(size, size));
  return pm.isNull() ? fallback : QIcon(pm);
}

}  // namespace

QIcon TRFindIcon::OwnImage(TOwnImage which, bool large) {
  const char* base = which == oiExecutable ? "exe" : which == oiNoExtension ? "noext" : "default";
  return QIcon(QStringLiteral(":/arkelin/shared/%1%2.png").arg(QLatin1String(base)).arg(large ? kLarge : kSmall));
}

std::string TRFindIcon::ExtensionOf(const std::string& name) {
  const size_t slash = name.find_last_of("\\/");
  const std::string part = slash == std::string::npos ? name : name.substr(slash + 1);
  const size_t dot = part.rfind('.');
  return dot == std::string::npos ? std::string() : part.substr(dot);
}

void TRFindIcon::EnsureIconTheme() {
  if (!HaveGui()) return;
  const QString current = QIcon::themeName();
  if (!current.isEmpty() && current != QLatin1String("hicolor")) return;
  // Without a desktop platform the search path may hold only the built-in
  // resources; the themes live in the XDG data folders.
  QStringList paths = QIcon::themeSearchPaths();
  QStringList dataDirs = qEnvironmentVariable("XDG_DATA_DIRS").split(QLatin1Char(':'), Qt::SkipEmptyParts);
  if (dataDirs.isEmpty()) dataDirs = {QStringLiteral("/usr/local/share"), QStringLiteral("/usr/share")};
  dataDirs.prepend(QDir::homePath() + QStringLiteral("/.local/share"));
  bool added = false;
  for (const QString& d : dataDirs) {
    const QString icons = QDir::cleanPath(d + QStringLiteral("/icons"));
    if (!paths.contains(icons) && QFileInfo(icons).isDir()) {
      paths << icons;
      added = true;
    }
  }
  if (added) QIcon::setThemeSearchPaths(paths);
  static const char* const kThemes[] = {"Adwaita", "breeze", "gnome", "oxygen", "Tango"};
  for (const char* theme : kThemes) {
    for (const QString& dir : QIcon::themeSearchPaths()) {
      if (QFileInfo::exists(dir + QLatin1Char('/') + QLatin1String(theme) + QStringLiteral("/index.theme"))) {
        QIcon::setThemeName(QLatin1String(theme));
        return;
      }
    }
  }
}

TRFindIcon::TRFindIcon() {
  EnsureIconTheme();
  largeDefault_ = Themed("application-x-generic", kLarge, OwnImage(oiDefault, true));
  smallDefault_ = Themed("application-x-generic", kSmall, OwnImage(oiDefault, false));
  largeExe_ = Themed("application-x-executable", kLarge, OwnImage(oiExecutable, true));
  smallExe_ = Themed("application-x-executable", kSmall, OwnImage(oiExecutable, false));
  largeNoExt_ = largeDefault_;
  smallNoExt_ = smallDefault_;
  large_ = largeDefault_;
  small_ = smallDefault_;
  lookAgain_ = true;
}

void TRFindIcon::SetFileName(const std::string& name) {
  if (!lookAgain_ && Lower(ExtensionOf(name)) == Lower(ExtensionOf(fileName_))) return;
  fileName_ = name;
  Lookup();
}

void TRFindIcon::AnswerDefault(TIconResult why) {
  large_ = largeDefault_;
  small_ = smallDefault_;
  result_ = why;
}

void TRFindIcon::Lookup() {
  lookAgain_ = false;
  ++lookups_;
  const std::string ext = ExtensionOf(fileName_);
  if (ext.empty()) {
    large_ = largeNoExt_;
    small_ = smallNoExt_;
    result_ = irDefault;
    return;
  }
  if (Lower(ext) == ".exe") {
    large_ = largeExe_;
    small_ = smallExe_;
    result_ = irExecutable;
    return;
  }
  try {
    if (!HaveGui()) {
      AnswerDefault(irError);
      return;
    }
    for (const std::string& n : platform::FileTypes().IconNames(ext)) {
      const QString name = QString::fromStdString(n);
      if (name.isEmpty() || !QIcon::hasThemeIcon(name)) continue;
      const QIcon icon = QIcon::fromTheme(name);
      const QPixmap large = icon.pixmap(QSize(kLarge, kLarge));
      const QPixmap small = icon.pixmap(QSize(kSmall, kSmall));
      if (large.isNull() || small.isNull()) {
        AnswerDefault(irError);
        return;
      }
      large_ = QIcon(large);
      small_ = QIcon(small);
      result_ = irFound;
      return;
    }
    AnswerDefault(irDefault);
  } catch (...) {
    // The file-type service is an outside facility; whatever goes wrong
    // there, the list still gets an image.
    AnswerDefault(irError);
  }
}

void TRFindIcon::SetLargeDefaultIcon(const QIcon& icon) { largeDefault_ = icon; lookAgain_ = true; }
void TRFindIcon::SetSmallDefaultIcon(const QIcon& icon) { smallDefault_ = icon; lookAgain_ = true; }
void TRFindIcon::SetLargeExeIcon(const QIcon& icon) { largeExe_ = icon; lookAgain_ = true; }
void TRFindIcon::SetSmallExeIcon(const QIcon& icon) { smallExe_ = icon; lookAgain_ = true; }
void TRFindIcon::SetLargeNoExtIcon(const QIcon& icon) { largeNoExt_ = icon; lookAgain_ = true; }
void TRFindIcon::SetSmallNoExtIcon(const QIcon& icon) { smallNoExt_ = icon; lookAgain_ = true; }

}  // namespace arkelin::shared
