// The archive window's file list as the window tests read and select it.
#pragma once

#include <QItemSelectionModel>
#include <QStringList>
#include <QtTest>

#include "window/mainunit.h"

namespace {

// The row showing `caption`; -1 when none does.
inline int RowOf(arkelin::window::TMainform& f, const QString& caption) {
  for (int r = 0; r < f.Model().RowCountValue(); ++r)
    if (f.Model().Row(r).caption == caption) return r;
  return -1;
}

// The captions of all rows, sorted.
inline QStringList Captions(arkelin::window::TMainform& f) {
  QStringList out;
  for (int r = 0; r < f.Model().RowCountValue(); ++r) out << f.Model().Row(r).caption;
  out.sort();
  return out;
}

// Selects exactly the rows of these captions; a caption no row shows fails
// the test.
inline void SelectRows(arkelin::window::TMainform& f, const QStringList& captions) {
  f.lw_Files->clearSelection();
  for (const QString& c : captions) {
    const int r = RowOf(f, c);
    QVERIFY2(r >= 0, qPrintable(c));
    f.lw_Files->selectionModel()->select(f.lw_Files->model()->index(r, 0),
                                         QItemSelectionModel::Select | QItemSelectionModel::Rows);
  }
}

// The names of the open ZIP archive's entries, sorted.
inline QStringList ZipEntryNames(arkelin::window::TMainform& f) {
  QStringList out;
  for (const auto& e : f.ZipMaster1().Entries()) out << QString::fromStdString(e.FileName);
  out.sort();
  return out;
}

}  // namespace
