// The archive window's commands that open an entry: View/edit and Run
// (menu, toolbar, pop-up and a double-click on a row).
//
// View extracts the selected entries into the temporary folder (FOLDERS
// TEMP) and shows them: pictures in the built-in image viewer or the
// external one, anything else in the built-in editor or the external one.
// An edited text goes back into the archive in the entry's own place, as
// the same stored name. Run extracts the first selected entry into the work
// folder and starts it (open::StartFromArchive), deleting the copy when
// the program has ended.
#pragma once

#include <QStringList>

#include <string>
#include <vector>

#include "open/ViewEntry.h"

namespace arkelin::window {

class TMainform;

class ViewCommands {
 public:
  explicit ViewCommands(TMainform& window) : w_(window) {}
  void View();
  void Run();

  // The state shared with the built-in editor while an entry is viewed.
  const open::ViewState& State() const { return state_; }

 private:
  struct Selected {
    open::SelectedEntry entry;
    std::string storedName;   // the whole name as the archive stores it
  };
  std::vector<Selected> SelectedEntries() const;
  void ViewText(const std::vector<Selected>& selected);
  void ViewGraphics(const std::vector<std::string>& graphics, const std::vector<Selected>& selected);
  // Extracts the stored names below folder (with their folders, overwriting);
  // false when the engine failed (the message was shown).
  void ExtractTo(const QString& folder, const std::vector<std::string>& storedNames, bool verbose);
  // Puts file (found at base/relative) back into the archive under the
  // stored name relative stands for.
  void PutBack(const std::string& base, const std::string& relative);

  TMainform& w_;
  open::ViewState state_;
};

}  // namespace arkelin::window
