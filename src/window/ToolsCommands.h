// The archive window's tools: favourite archives, multiple file
// extraction, install from an archive and the disk search.
#pragma once

#include <QStringList>

namespace arkelin::window {

class TMainform;

class ToolsCommands {
 public:
  explicit ToolsCommands(TMainform& window) : w_(window) {}
  void FavoriteArchives();
  void AddToFavorites();
  // The favourites window (also at start-up when the settings ask for it).
  void OpenFavoritesWindow();
  void MultipleFileExtracting();
  void Install();
  void SearchArchives();
  void SearchFiles();

 private:
  TMainform& w_;
};

}  // namespace arkelin::window
