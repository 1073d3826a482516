#include "window/ViewCommands.h"

#include "window/CommandSupport_p.h"

namespace arkelin::window {

void ViewCommands::View() {
  if (w_.RefuseForRar()) return;
  w_.NotAvailable(QStringLiteral("View/edit"));
}

void ViewCommands::Run() {
  if (w_.RefuseForRar()) return;
  w_.NotAvailable(QStringLiteral("Run"));
}

}  // namespace arkelin::window
