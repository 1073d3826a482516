// The folder tree of the extract and Add windows is the shared directory tree
// widget; this header names it for the window and adds the new-folder step
// both windows share.
#pragma once

#include <QString>

#include "shared/widgets/DirTreeWidget.h"

namespace arkelin::window {

using FolderTree = shared::TDirTreeWidget;

// Creates the folder `name` inside `parent`: "\" or "/" at the end of the
// answer is ignored. Answers the new folder's path, empty on failure (also
// when something of that name exists already).
QString MakeFolderIn(const QString& parent, const QString& name);

}  // namespace arkelin::window
