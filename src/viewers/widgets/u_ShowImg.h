// The built-in image viewer: TF_ShowImg, a modal window holding one image
// control, AdvImage1, that fills it. It closes on a click on the picture or
// on any key that types a character (Esc and Enter included); keys that
// type nothing (arrows, function keys) leave it open.
//
// TAdvImageWidget is the widget around the image control's core
// (viewers/AdvImage.h): it paints it with the widget's palette and font and
// repaints when the core asks.
#pragma once

#include <QDialog>
#include <QWidget>

#include <functional>
#include <memory>

#include "viewers/AdvImage.h"

namespace arkelin::viewers {

class TAdvImageWidget : public QWidget {
 public:
  explicit TAdvImageWidget(QWidget* parent = nullptr);
  TAdvImage& Image() { return image_; }
  // A mouse press on the control.
  std::function<void()> OnClick;

 protected:
  void paintEvent(QPaintEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;

 private:
  TAdvImage image_;
};

class TF_ShowImg : public QDialog {
 public:
  explicit TF_ShowImg(QWidget* parent = nullptr);

  // Loads the picture (the caption becomes the file's full path) and sizes
  // the window to it, within the screen.
  void LoadFile(const QString& path);
  void ShowModal();
  using ShowHook = std::function<void(TF_ShowImg&)>;
  static void SetShowHook(ShowHook hook);

  TAdvImageWidget* AdvImage1;

 protected:
  void keyPressEvent(QKeyEvent* e) override;
};

}  // namespace arkelin::viewers
