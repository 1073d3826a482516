#include "window/ToolsCommands.h"

#include "window/CommandSupport_p.h"

namespace arkelin::window {

void ToolsCommands::FavoriteArchives() { OpenFavoritesWindow(); }
void ToolsCommands::AddToFavorites() { w_.NotAvailable(QStringLiteral("Add to Favorites")); }
void ToolsCommands::OpenFavoritesWindow() { w_.NotAvailable(QStringLiteral("Favorite archives")); }
void ToolsCommands::MultipleFileExtracting() { w_.NotAvailable(QStringLiteral("Multiple file extracting")); }
void ToolsCommands::Install() { w_.NotAvailable(QStringLiteral("Install")); }
void ToolsCommands::SearchArchives() { w_.NotAvailable(QStringLiteral("Search for archive(s)")); }
void ToolsCommands::SearchFiles() { w_.NotAvailable(QStringLiteral("Search for file(s)")); }

}  // namespace arkelin::window
