// Enter as Tab for forms that are filled in field by field (the mail
// window): pressing Enter in any control of the form moves the focus to the
// next control in tab order instead of confirming the form or breaking a
// line. The move is posted to the form, so it happens after the key event
// has finished; the form may close meanwhile.
#pragma once

#include <QChar>

class QObject;
class QWidget;

namespace arkelin::shared {

// The form's key handler: when key is Enter (13) it is swallowed (set to the
// null character) and the focus move is posted to form; any other character
// passes unchanged.
void EnterAsTab(QWidget* form, QChar& key);

// Lets every control inside form (and the form itself) hand its typed
// characters to EnterAsTab first, as a form that previews keys does. The
// returned filter belongs to form and goes with it.
QObject* InstallEnterAsTab(QWidget* form);

}  // namespace arkelin::shared
