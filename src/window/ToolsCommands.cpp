#include "window/ToolsCommands.h"

#include "window/CommandSupport_p.h"
#include "window/FavoritesCommands.h"
#include "window/InstallCommands.h"
#include "window/SearchCommands.h"
#include "window/U_mfe.h"

namespace arkelin::window {

void ToolsCommands::FavoriteArchives() { OpenFavoritesWindow(); }
void ToolsCommands::AddToFavorites() { FavoritesCommands(w_).AddToFavorites(); }
void ToolsCommands::OpenFavoritesWindow() { FavoritesCommands(w_).OpenWindow(); }
void ToolsCommands::MultipleFileExtracting() {
  TF_MFE dlg(&w_);
  dlg.ShowModal();
}
void ToolsCommands::Install() { InstallCommands(w_).Install(); }
void ToolsCommands::SearchArchives() { SearchCommands(w_).Search(1); }
void ToolsCommands::SearchFiles() { SearchCommands(w_).Search(2); }

}  // namespace arkelin::window
