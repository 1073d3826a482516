#include "window/MailCommands.h"

#include "window/CommandSupport_p.h"

namespace arkelin::window {

void MailCommands::MailArchive() { w_.NotAvailable(QStringLiteral("Mail archive")); }

}  // namespace arkelin::window
