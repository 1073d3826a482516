// TF_SearchHist, the address book window of the mail window: a small tool
// window that stays on top, headed "Addressbook", listing the entries of the
// book ("<name>address", newest first) with a "&Close" button. A click on an
// entry hands it to OnPick (the mail window fills its name and address from
// it); a double click or "&Close" closes the window. It only reads the book;
// the mail window's Send records new entries.
#pragma once

#include <QDialog>
#include <QString>

#include <functional>

class QLabel;
class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace arkelin::mail {

class TF_SearchHist : public QDialog {
  Q_OBJECT
 public:
  // Loads the book at bookPath when it exists.
  explicit TF_SearchHist(const QString& bookPath, QWidget* parent = nullptr);

  // Runs for each entry clicked.
  std::function<void(const QString& entry)> OnPick;

  // Shows the window modally, or hands it to the show hook when one is set
  // (tests drive the window from the hook; it is closed when the hook
  // returns).
  void ShowModal();
  using ShowHook = std::function<void(TF_SearchHist&)>;
  static void SetShowHook(ShowHook hook);

  QLabel* la_Header = nullptr;
  QListWidget* lb_History = nullptr;
  QPushButton* bu_Close = nullptr;

  void lb_HistoryClick(QListWidgetItem* item);
  void lb_HistoryDblClick(QListWidgetItem* item);
};

}  // namespace arkelin::mail
