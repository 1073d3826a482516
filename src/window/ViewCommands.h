// The archive window's commands that open an entry: View/edit and Run
// (menu, toolbar, pop-up and a double-click on a row).
#pragma once

#include <QStringList>

namespace arkelin::window {

class TMainform;

class ViewCommands {
 public:
  explicit ViewCommands(TMainform& window) : w_(window) {}
  void View();
  void Run();

 private:
  TMainform& w_;
};

}  // namespace arkelin::window
