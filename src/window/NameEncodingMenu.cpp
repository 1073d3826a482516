#include "window/NameEncodingMenu.h"

#include <QActionGroup>

#include "engine/zip/dll/common/NameEncoding.h"
#include "settings/IniFile.h"

namespace arkelin::window {

namespace dll = engine::zip::dll;

namespace {

const char kSection[] = "NAMEENCODING";

// Keys end at the first "=", so that character (and the escape itself)
// is written as %3D / %25.
std::string KeyFor(const QString& archive) {
  std::string key;
  for (char c : archive.toStdString()) {
    if (c == '%') key += "%25";
    else if (c == '=') key += "%3D";
    else key += c;
  }
  return key;
}

}  // namespace

int RememberedNameEncoding(const QString& iniFile, const QString& archive) {
  if (archive.isEmpty()) return 0;
  const settings::TIniFile ini(iniFile.toStdString());
  dll::NameEncoding e = dll::NameEncoding::kAuto;
  if (!dll::ParseNameEncoding(ini.ReadString(kSection, KeyFor(archive), "Auto"), e)) return 0;
  return static_cast<int>(e);
}

void RememberNameEncoding(const QString& iniFile, const QString& archive, int encoding) {
  if (archive.isEmpty()) return;
  settings::TIniFile ini(iniFile.toStdString());
  if (encoding <= 0 || encoding >= dll::kNameEncodingCount) ini.DeleteKey(kSection, KeyFor(archive));
  else ini.WriteString(kSection, KeyFor(archive), dll::NameEncodingLabel(static_cast<dll::NameEncoding>(encoding)));
}

QMenu* BuildNameEncodingMenu(QMenu* parent, std::function<void(int)> chosen) {
  QMenu* menu = parent->addMenu(QStringLiteral("Name encoding"));
  menu->setObjectName(QStringLiteral("NameEncoding1"));
  auto* group = new QActionGroup(menu);
  group->setExclusive(true);
  for (int i = 0; i < dll::kNameEncodingCount; ++i) {
    QAction* a = menu->addAction(QString::fromLatin1(dll::NameEncodingLabel(static_cast<dll::NameEncoding>(i))));
    a->setObjectName(QStringLiteral("NameEncoding%1").arg(i));
    a->setCheckable(true);
    a->setChecked(i == 0);
    group->addAction(a);
    QObject::connect(a, &QAction::triggered, menu, [chosen, i] { chosen(i); });
  }
  return menu;
}

void ShowNameEncoding(QMenu* menu, int encoding) {
  if (!menu) return;
  for (QAction* a : menu->actions())
    if (a->objectName() == QStringLiteral("NameEncoding%1").arg(encoding)) a->setChecked(true);
}

}  // namespace arkelin::window
