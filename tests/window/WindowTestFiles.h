// Small file helpers the window tests share.
#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtTest>

namespace {

// The ZIP engine libraries the window loads at run time are built.
inline bool HaveEngineLibraries() {
  return QFile::exists(QStringLiteral(ARKELIN_BIN_DIR "/libunzdll.so")) &&
         QFile::exists(QStringLiteral(ARKELIN_BIN_DIR "/libzipdll.so"));
}

// Writes `data` to `path`, making its folders; fails the test on a short write.
inline void WriteFile(const QString& path, const QByteArray& data) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile f(path);
  QVERIFY(f.open(QIODevice::WriteOnly));
  QCOMPARE(f.write(data), data.size());
}

// The file's bytes, or nothing when it cannot be read.
inline QByteArray ReadFile(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  return f.readAll();
}

}  // namespace
