// The direct-save round trip of a drag out of the archive window, on a real
// X server (Xvfb, started by the test): this test plays the file manager
// with an X connection of its own. It reads the proposed name from the drag
// source's XdndDirectSave0 property, writes the URI it wants there, asks for
// the XdndDirectSave0 conversion of XdndSelection, and gets "S" with the
// entry's file at that URI. Skipped when Xvfb is missing.
#include <QtTest>

#include <QDir>
#include <QDrag>
#include <QFile>
#include <QItemSelectionModel>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/FakePlatform.h"
#include "platform/NameText.h"
#include "platform/Paths.h"
#include "window/DragOut.h"
#include "window/mainunit.h"
#include "QtTestFiles.h"

using namespace arkelin::window;
namespace pf = arkelin::platform;

namespace {

xcb_atom_t Atom(xcb_connection_t* c, const char* name) {
  xcb_intern_atom_reply_t* r =
      xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
  const xcb_atom_t a = r ? r->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
  std::free(r);
  return a;
}

QByteArray Property(xcb_connection_t* c, xcb_window_t w, xcb_atom_t a) {
  xcb_get_property_reply_t* r =
      xcb_get_property_reply(c, xcb_get_property(c, 0, w, a, XCB_GET_PROPERTY_TYPE_ANY, 0, 4096), nullptr);
  QByteArray v;
  if (r) v = QByteArray(static_cast<const char*>(xcb_get_property_value(r)), xcb_get_property_value_length(r));
  std::free(r);
  return v;
}

}  // namespace

class DragOutXdsTest : public QObject {
  Q_OBJECT
 private slots:
  void directSavePutsTheEntryWhereTheTargetAsked() {
    if (QGuiApplication::platformName() != QStringLiteral("xcb")) QSKIP("no X server (Xvfb missing)");
    QTemporaryDir dir;
    pf::SetDataFolderOverride(dir.path().toStdString() + "/");
    pf::FakePlatformScope fake;
    WriteFile(dir.path() + "/src/docs/a.txt", "direct save\n");
    QVERIFY(RunZipTool(dir.path() + "/src", {"-r", "-X", dir.path() + "/x.zip", "."}));
    QVERIFY(QDir().mkpath(dir.path() + "/target"));
    const QString wanted = dir.path() + "/target/renamed.txt";

    TMainform f;
    f.resize(400, 300);
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    f.EnterZipSession(dir.path() + "/x.zip");
    f.lw_Files->selectRow(0);
    QCOMPARE(f.Model().Row(0).caption, QString("a.txt"));

    // The file manager, on its own connection to the server.
    xcb_connection_t* fm = xcb_connect(nullptr, nullptr);
    QVERIFY(fm && !xcb_connection_has_error(fm));
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(fm)).data;
    // Its folder window: a drop target (XdndAware) away from the archive window.
    const xcb_window_t mine = xcb_generate_id(fm);
    const uint32_t noRedirect = 1;
    xcb_create_window(fm, XCB_COPY_FROM_PARENT, mine, screen->root, 450, 300, 200, 200, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_OVERRIDE_REDIRECT, &noRedirect);
    const uint32_t version = 5;
    xcb_change_property(fm, XCB_PROP_MODE_REPLACE, mine, Atom(fm, "XdndAware"), XCB_ATOM_ATOM, 32, 1, &version);
    xcb_map_window(fm, mine);
    xcb_flush(fm);
    const xcb_atom_t selection = Atom(fm, "XdndSelection"), direct = Atom(fm, "XdndDirectSave0"),
                     text = Atom(fm, "text/plain"), enter = Atom(fm, "XdndEnter");
    bool entered = false;
    QByteArray proposed, answer;
    bool sawOwner = false, notified = false;
    QTimer::singleShot(300, [&] {
      xcb_get_selection_owner_reply_t* o =
          xcb_get_selection_owner_reply(fm, xcb_get_selection_owner(fm, selection), nullptr);
      const xcb_window_t source = o ? o->owner : static_cast<xcb_window_t>(XCB_WINDOW_NONE);
      std::free(o);
      sawOwner = source != XCB_WINDOW_NONE;
      // The pointer moves over the folder window: the drag enters it.
      xcb_warp_pointer(fm, XCB_WINDOW_NONE, screen->root, 0, 0, 0, 0, 500, 350);
      xcb_flush(fm);
      QElapsedTimer moving;
      moving.start();
      while (!entered && moving.elapsed() < 3000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        while (xcb_generic_event_t* ev = xcb_poll_for_event(fm)) {
          if ((ev->response_type & 0x7f) == XCB_CLIENT_MESSAGE &&
              reinterpret_cast<xcb_client_message_event_t*>(ev)->type == enter)
            entered = true;
          std::free(ev);
        }
      }
      if (sawOwner && entered) {
        proposed = Property(fm, source, direct);
        const std::string uri = pf::FileUriOf(wanted.toStdString());
        xcb_change_property(fm, XCB_PROP_MODE_REPLACE, source, direct, text, 8, static_cast<uint32_t>(uri.size()),
                            uri.data());
        xcb_convert_selection(fm, mine, selection, direct, direct, XCB_CURRENT_TIME);
        xcb_flush(fm);
        QElapsedTimer waited;
        waited.start();
        while (!notified && waited.elapsed() < 5000) {
          QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
          while (xcb_generic_event_t* ev = xcb_poll_for_event(fm)) {
            if ((ev->response_type & 0x7f) == XCB_SELECTION_NOTIFY) {
              const auto* n = reinterpret_cast<xcb_selection_notify_event_t*>(ev);
              notified = true;
              if (n->property != XCB_ATOM_NONE) answer = Property(fm, mine, direct);
            }
            std::free(ev);
          }
        }
      }
      QDrag::cancel();
    });
    f.DragOutCommand().Start();
    xcb_disconnect(fm);
    QVERIFY(sawOwner);
    QVERIFY(entered);
    QCOMPARE(proposed, QByteArray("a.txt"));
    QVERIFY(notified);
    QCOMPARE(answer, QByteArray("S"));
    QFile got(wanted);
    QVERIFY(got.open(QIODevice::ReadOnly));
    QCOMPARE(got.readAll(), QByteArray("direct save\n"));
    // The drag ended without a drop: no temporary copy is left.
    QVERIFY(!f.DragOutCommand().LastFolder().isEmpty());
    QVERIFY(!QFileInfo::exists(f.DragOutCommand().LastFolder()));
    pf::SetDataFolderOverride("");
  }
};

int main(int argc, char** argv) {
  // A display of its own on a free number.
  QProcess xvfb;
  if (!QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty()) {
    for (int n = 91; n < 120; ++n) {
      if (QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)) || QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(n)))
        continue;
      xvfb.start(QStringLiteral("Xvfb"), {QStringLiteral(":%1").arg(n), QStringLiteral("-screen"), QStringLiteral("0"),
                                           QStringLiteral("800x600x24"), QStringLiteral("-nolisten"), QStringLiteral("tcp")});
      for (int i = 0; i < 100 && !QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)); ++i) QThread::msleep(50);
      if (QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n))) {
        qputenv("DISPLAY", QByteArray(":") + QByteArray::number(n));
        qputenv("QT_QPA_PLATFORM", "xcb");
      }
      break;
    }
  }
  int rc = 0;
  {
    QApplication app(argc, argv);
    DragOutXdsTest t;
    rc = QTest::qExec(&t, argc, argv);
  }
  if (xvfb.state() != QProcess::NotRunning) {
    xvfb.terminate();
    xvfb.waitForFinished(3000);
  }
  return rc;
}

#include "DragOutXdsTest.moc"
