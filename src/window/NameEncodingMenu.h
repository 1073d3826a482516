// The "Name encoding" submenu under Misc: which code page the open ZIP
// archive's names without the UTF-8 mark are read in (Auto, CP437, CP850,
// CP852, CP866, CP1250, CP1251, CP1252, Shift-JIS, GBK, Big5, EUC-KR,
// KOI8-R), one checked item at a time. The choice is remembered per
// archive in Arkelin.ini, section "NAMEENCODING", the archive's path as the
// key and the code page's caption as the value (Auto removes the key),
// through the one INI store.
#pragma once

#include <QMenu>
#include <QString>

#include <functional>

namespace arkelin::window {

// The code page remembered for `archive` (a dll::NameEncoding value; 0
// Auto when none or unknown).
int RememberedNameEncoding(const QString& iniFile, const QString& archive);
// Records the choice; throws settings::EIniWriteError when the file is refused.
void RememberNameEncoding(const QString& iniFile, const QString& archive, int encoding);

// Adds the submenu to `parent`; `chosen` receives the value of an item the
// user picks. Items are named "NameEncoding<value>".
QMenu* BuildNameEncodingMenu(QMenu* parent, std::function<void(int)> chosen);
// Checks the item of `encoding`.
void ShowNameEncoding(QMenu* menu, int encoding);

}  // namespace arkelin::window
