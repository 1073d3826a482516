#include "window/ToolsCommands.h"

#include "window/CommandSupport_p.h"
#include "window/SearchCommands.h"
#include "window/U_mfe.h"

namespace arkelin::window {

void ToolsCommands::FavoriteArchives() { OpenFavoritesWindow(); }
void ToolsCommands::AddToFavorites() { w_.NotAvailable(QStringLiteral("Add to Favorites")); }
void ToolsCommands::OpenFavoritesWindow() { w_.NotAvailable(QStringLiteral("Favorite archives")); }
void ToolsCommands::MultipleFileExtracting() {
  TF_MFE dlg(&w_);
  dlg.ShowModal();
}
void ToolsCommands::Install() { w_.NotAvailable(QStringLiteral("Install")); }
void ToolsCommands::SearchArchives() { SearchCommands(w_).Search(1); }
void ToolsCommands::SearchFiles() { SearchCommands(w_).Search(2); }

}  // namespace arkelin::window
