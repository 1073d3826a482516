// What the programs that take pictures of the windows share. They are no
// tests: they run under a virtual display and the pictures are checked by eye.
#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>

#include "platform/qt/QtPlatform.h"

// The application as the program sets it up: its name and the Qt platform
// services.
class PictureApp : public QApplication {
 public:
  PictureApp(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("Tolvaren Arkelin2001"));
    arkelin::platform::qt::InstallQtPlatform();
  }
};

// Lets the windows lay themselves out and paint: events for `ms` milliseconds.
inline void Settle(int ms = 400) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) {
    QApplication::processEvents();
    QThread::msleep(10);
  }
}
