// Small file helpers the Qt tests share.
#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>
#include <QtTest>

#include <cstdint>

namespace {

// The ZIP engine libraries the window loads at run time are built.
inline bool HaveEngineLibraries() {
  return QFile::exists(QStringLiteral(ARKELIN_BIN_DIR "/libunzdll.so")) &&
         QFile::exists(QStringLiteral(ARKELIN_BIN_DIR "/libzipdll.so"));
}

// The RAR library the window loads at run time is built.
inline bool HaveRarLibrary() { return QFile::exists(QStringLiteral(ARKELIN_BIN_DIR "/libarkunrar.so")); }

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

// Runs the peer Info-ZIP zip, quiet, with `args` in `folder`; true when it
// ended with status 0 within a minute.
inline bool RunZipTool(const QString& folder, const QStringList& args) {
  QProcess zip;
  zip.setWorkingDirectory(folder);
  zip.start(QStringLiteral("zip"), QStringList{QStringLiteral("-q")} + args);
  return zip.waitForFinished(60000) && zip.exitStatus() == QProcess::NormalExit && zip.exitCode() == 0;
}

// `n` bytes of xorshift noise: the same for the same `seed`, and
// incompressible.
inline QByteArray Noise(int n, int seed) {
  QByteArray b(n, 0);
  uint32_t x = 2463534242u + static_cast<uint32_t>(seed);
  for (int i = 0; i < n; ++i) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    b[i] = static_cast<char>(x & 0xff);
  }
  return b;
}

}  // namespace
