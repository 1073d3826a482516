#include "window/ToolsCommands.h"

#include "window/CommandSupport_p.h"
#include "window/FavoritesCommands.h"
#include "window/InstallCommands.h"

namespace arkelin::window {

void ToolsCommands::FavoriteArchives() { OpenFavoritesWindow(); }
void ToolsCommands::AddToFavorites() { FavoritesCommands(w_).AddToFavorites(); }
void ToolsCommands::OpenFavoritesWindow() { FavoritesCommands(w_).OpenWindow(); }
void ToolsCommands::MultipleFileExtracting() { w_.NotAvailable(QStringLiteral("Multiple file extracting")); }
void ToolsCommands::Install() { InstallCommands(w_).Install(); }
void ToolsCommands::SearchArchives() { w_.NotAvailable(QStringLiteral("Search for archive(s)")); }
void ToolsCommands::SearchFiles() { w_.NotAvailable(QStringLiteral("Search for file(s)")); }

}  // namespace arkelin::window
