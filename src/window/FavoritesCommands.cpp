#include "window/FavoritesCommands.h"

#include "platform/Platform.h"
#include "settings/Favorites.h"
#include "settings/IniFile.h"
#include "settings/U_Favorites.h"
#include "settings/u_settings.h"
#include "window/CommandSupport_p.h"

namespace arkelin::window {

namespace pf = arkelin::platform;

void FavoritesCommands::AddToFavorites() {
  // In a RAR session the ZIP engine may still hold an earlier archive's name;
  // adding that one would not be the archive on the screen.
  if (w_.RefuseForRar()) return;
  const QString zip = w_.CurrentZipName();
  if (zip.isEmpty()) return;
  if (w_.Favorites.Contains(U8(zip))) {
    pf::Dialogs().MessageBox(DuplicateText(), pf::MsgKind::Information, pf::BtnOK);
    return;
  }
  settings::TFavorite f;
  std::string why;
  if (!settings::TFavorites::Describe(U8(zip), f, why)) {
    pf::Dialogs().MessageBox(why, pf::MsgKind::Error, pf::BtnOK);
    return;
  }
  w_.Favorites.Append(f);
  // A refused write is reported by the command boundary; the new line stays
  // in memory until the next load.
  w_.Favorites.Save();
  w_.Favorites.Load();
}

void FavoritesCommands::OpenWindow() {
  settings::TF_Favorites dlg(w_.Favorites, w_.Settings().WindowColor(), &w_);
  dlg.OnOpen = [this](const std::string& path) { OpenFavorite(Q(path)); };
  dlg.ShowModal();
}

void FavoritesCommands::OpenFavorite(const QString& path) {
  w_.Panel4->setText(path);
  w_.SetRarMode(false);
  w_.RarMode = false;
  w_.SetCurrentZipName(path);
  w_.SetTitle(path);
  w_.SetArchiveControls(true);
}

void OpenFavoritesOnStart(settings::TF_Settings& settings, TMainform& window, const IMainSettings* view) {
  settings.OnOpenFavorites = [&window, view](settings::TF_Settings&) {
    window.SetSettings(view);
    window.RunGuarded([&window] { FavoritesCommands(window).OpenWindow(); }, false);
  };
}

}  // namespace arkelin::window
