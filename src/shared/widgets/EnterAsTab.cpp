// Enter as Tab. Qt forms have no key preview, so one application event
// filter owned by the form looks at key presses aimed at the form's
// controls. The next control is found along the focus chain, skipping
// controls that are hidden, disabled or do not take focus by Tab.
#include "shared/widgets/EnterAsTab.h"

#include <QApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QPointer>
#include <QWidget>

namespace arkelin::shared {

namespace {

void FocusNext(QWidget* form) {
  QWidget* current = form->focusWidget();
  if (!current) current = form;
  for (QWidget* w = current->nextInFocusChain(); w && w != current; w = w->nextInFocusChain()) {
    if (w == form || !form->isAncestorOf(w)) continue;
    if (!w->isEnabled() || !w->isVisible() || !(w->focusPolicy() & Qt::TabFocus)) continue;
    w->setFocus(Qt::TabFocusReason);
    return;
  }
}

class EnterAsTabFilter : public QObject {
 public:
  explicit EnterAsTabFilter(QWidget* form) : QObject(form), form_(form) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType()) return false;
    auto* w = static_cast<QWidget*>(watched);
    if (w != form_ && !form_->isAncestorOf(w)) return false;
    const auto* ke = static_cast<QKeyEvent*>(event);
    const QString text = ke->text();
    if (text.size() != 1) return false;
    QChar key = text.front();
    EnterAsTab(form_, key);
    return key.isNull();
  }

 private:
  QWidget* form_;
};

}  // namespace

void EnterAsTab(QWidget* form, QChar& key) {
  if (key != QChar(13)) return;
  key = QChar();
  if (!form) return;
  QMetaObject::invokeMethod(
      form, [f = QPointer<QWidget>(form)] { if (f) FocusNext(f); }, Qt::QueuedConnection);
}

QObject* InstallEnterAsTab(QWidget* form) {
  auto* filter = new EnterAsTabFilter(form);
  qApp->installEventFilter(filter);
  return filter;
}

}  // namespace arkelin::shared
