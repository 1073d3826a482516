// TF_Favorites, the favourites window: the favourite archives in a sortable
// grid (name, date, size), a status line showing the full path of the row
// clicked, "Remove" and "&Close". A double-click or Enter on a row hands the
// favourite's path to OnOpen and closes the window; the window itself never
// touches the archive session. Each row carries the index of its favourite
// in its first item, so sorting never changes which favourite a row opens
// or removes. Escape closes the window.
#pragma once

#include <QColor>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <functional>
#include <string>

#include "settings/Favorites.h"

namespace arkelin::shared {
class TSortGrid;
}

namespace arkelin::settings {

class TF_Favorites : public QDialog {
  Q_OBJECT
 public:
  // The window shows and changes list (owned by the caller); the cells are
  // drawn in windowColor (COLOR WINDOW; invalid: the desktop's palette).
  TF_Favorites(TFavorites& list, const QColor& windowColor, QWidget* parent = nullptr);

  // Fills the grid from the list: data rows 1.. in list order; the row
  // count follows the list only from two favourites up, so an empty list
  // shows one empty row and rows emptied by removals stay visible.
  void Fill();
  // Shows the window modally (or hands it to the test hook).
  void ShowModal();

  // Opens a favourite as the current archive; set by the archive window.
  std::function<void(const std::string& path)> OnOpen;

  // The favourite a grid row stands for (-1 for an empty row).
  int FavoriteAt(int row) const;
  // What the handlers do, callable from tests as from the controls.
  void RowClick(int row);
  void OpenRow(int row);
  void RemoveClick();

  QLabel* Header;
  shared::TSortGrid* StringGrid1;
  QLabel* StatusBar1;
  QPushButton* bu_Remove;
  QPushButton* bu_Close;

  // Tests work the filled window here instead of a modal loop. Null in the program.
  using ShowHook = std::function<void(TF_Favorites&)>;
  static void SetShowHook(ShowHook hook);

 private:
  void FitColumns();
  TFavorites& list_;
};

}  // namespace arkelin::settings
