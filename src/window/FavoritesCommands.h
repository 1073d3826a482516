// The favourite archives as the archive window uses them: Add to Favorites,
// the favourites window, and opening a favourite as the current ZIP archive.
// The list itself (TMainform::Favorites, a TFavorites) is loaded when the
// window is created and saved and reloaded after every change.
#pragma once

#include <QString>

namespace arkelin::settings {
class TF_Settings;
}

namespace arkelin::window {

class TMainform;
class IMainSettings;

class FavoritesCommands {
 public:
  explicit FavoritesCommands(TMainform& window) : w_(window) {}

  // Adds the current ZIP archive with its date and size; a name already
  // listed (without regard to case) is refused with the duplicate message.
  // ZIP archives only: in a RAR session the RAR refusal is shown.
  void AddToFavorites();
  // Shows the favourites window modally; a row opened there becomes the
  // current ZIP archive.
  void OpenWindow();
  // The current ZIP archive becomes path: RAR mode ends, the list is read
  // again, the title and the commands follow; the recent list and the
  // self-extract captions are not touched.
  void OpenFavorite(const QString& path);

  static const char* DuplicateText() { return "You have already added this Zipfile to your favorites!"; }

 private:
  TMainform& w_;
};

// Makes the configuration window's start-up request (MISC OPENFAVORITES)
// open the favourites window over window, reading the settings from view;
// call before TF_Settings::FormCreate.
void OpenFavoritesOnStart(settings::TF_Settings& settings, TMainform& window, const IMainSettings* view);

}  // namespace arkelin::window
