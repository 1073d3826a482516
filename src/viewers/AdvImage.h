// TAdvImage: the image viewer's picture control, without the widget around
// it. It loads a picture file by name (the format chosen by the extension),
// hands the viewing options to the JPEG and GIF pictures, and paints the
// picture into a painter: a raised 3-D frame, the picture shrunk to fit
// while keeping its proportions (never enlarged), centred, the surroundings
// filled, an optional caption at the bottom, or the text "Empty" when
// there is no picture.
//
// The widget that hosts it (viewers/widgets) calls Paint from its paint
// event and repaints when asked through OnInvalidate (later) and
// OnRepaintNow (at once: each new frame of an animation, each pass of a
// progressive JPEG). Qt Gui only; everything on the user-interface thread.
#pragma once

#include <QColor>
#include <QFont>
#include <QRect>
#include <QString>

#include <functional>
#include <string>

#include "viewers/GraphicFormats.h"
#include "viewers/JpegImage.h"

class QPainter;

namespace arkelin::viewers {

enum class TImageType { itUnknown, itGif, itJpeg, itBmp, itPng };

// The colours and font the host supplies for painting.
struct TAdvImageLook {
  QColor face = QColor(0xF0, 0xF0, 0xF0);        // the control's colour
  QColor light = Qt::white;                       // button highlight
  QColor dark = QColor(0xA0, 0xA0, 0xA0);        // button shadow
  QColor text = Qt::black;
  QFont font;
};

class TAdvImage {
 public:
  TAdvImage();
  TAdvImage(const TAdvImage&) = delete;
  TAdvImage& operator=(const TAdvImage&) = delete;

  // The Fit rule: the size of a pw x ph picture shrunk into aw x ah keeping
  // its proportions, every computed size truncated; never enlarged.
  static QRect Fit(int aw, int ah, int pw, int ph);

  // Loads the file: a missing file, an extension no format claims and a
  // damaged picture leave the control empty (other errors pass on). Then
  // the JPEG and GIF options are applied and the control repaints.
  void LoadFromFile(const std::string& path);
  // Empties the picture, the image rectangle and ImageName; repaints.
  void Clear();

  const std::string& ImageName() const { return imageName_; }
  // Loads the named file, or clears the control when the name is empty or
  // the file does not exist.
  void SetImageName(const std::string& name);
  TImageType ImageType() const;
  TPicture& Picture() { return picture_; }
  // Where the picture was drawn by the last Paint.
  QRect ImageRect() const { return imageRect_; }

  // Paints the whole control (W x H) with the host's look.
  void Paint(QPainter& p, int W, int H, const TAdvImageLook& look);

  // ---- Properties (setters repaint only when the value changes) ----
  int BevelWidth() const { return bevelWidth_; }
  void SetBevelWidth(int v);
  bool ShowFrame3D() const { return showFrame3D_; }
  void SetShowFrame3D(bool v);
  bool StretchRatio() const { return stretchRatio_; }
  void SetStretchRatio(bool v);
  bool CenterView() const { return centerView_; }
  void SetCenterView(bool v);
  bool ShowEmptyLabel() const { return showEmptyLabel_; }
  void SetShowEmptyLabel(bool v);
  const QString& EmptyLabel() const { return emptyLabel_; }
  void SetEmptyLabel(const QString& v);
  const QString& Caption() const { return caption_; }
  void SetCaption(const QString& v);
  bool Checked() const { return checked_; }
  void SetChecked(bool v);
  const QColor& CheckColor() const { return checkColor_; }
  void SetCheckColor(const QColor& v);
  // Passed to a loaded GIF picture; no repaint.
  bool GIFAnimate() const { return gifAnimate_; }
  void SetGIFAnimate(bool v);
  int GifAnimateSpeed() const { return gifAnimateSpeed_; }
  void SetGifAnimateSpeed(int v);
  // Applied to a JPEG picture when it is loaded.
  TJPEGPixelFormat JPEGPixelFormat() const { return jpegPixelFormat_; }
  void SetJPEGPixelFormat(TJPEGPixelFormat v);
  TJPEGScale JPEGScale() const { return jpegScale_; }
  void SetJPEGScale(TJPEGScale v);
  bool JPEGGrayscale() const { return jpegGrayscale_; }
  void SetJPEGGrayscale(bool v);
  TJPEGPerformance JPEGPerformance() const { return jpegPerformance_; }
  void SetJPEGPerformance(TJPEGPerformance v);
  bool JPEGProgressiveDisplay() const { return jpegProgressiveDisplay_; }
  void SetJPEGProgressiveDisplay(bool v);
  // Kept, never applied to a loaded picture; changing them repaints.
  bool JPEGSmoothing = false;
  bool JPEGProgressiveEncoding = false;
  int JPEGCompressionQuality = 0;
  void PropertyChanged() { Invalidate(); }

  // Host callbacks.
  std::function<void()> OnInvalidate;   // repaint when convenient
  std::function<void()> OnRepaintNow;   // repaint before returning

 private:
  void Invalidate() {
    if (OnInvalidate) OnInvalidate();
  }
  void PictureChanged();
  // The picture shown: the loaded one, or the one still loading (a
  // progressive JPEG shows its passes while it decodes).
  TGraphic* Shown() const;
  void FillSurroundings(QPainter& p, int W, int H, const TAdvImageLook& look) const;
  void DrawCaption(QPainter& p, int W, int H, const TAdvImageLook& look) const;

  TPicture picture_;
  TGraphic* loading_ = nullptr;
  std::string imageName_;
  QRect imageRect_;
  int bevelWidth_ = 1;
  bool showFrame3D_ = false, stretchRatio_ = false, centerView_ = false, showEmptyLabel_ = false;
  QString emptyLabel_ = QStringLiteral("Empty");
  QString caption_;
  bool checked_ = false;
  QColor checkColor_ = Qt::red;
  bool gifAnimate_ = false;
  int gifAnimateSpeed_ = 10;
  TJPEGPixelFormat jpegPixelFormat_ = TJPEGPixelFormat::jf24Bit;
  TJPEGScale jpegScale_ = TJPEGScale::jsFullSize;
  bool jpegGrayscale_ = false;
  TJPEGPerformance jpegPerformance_ = TJPEGPerformance::jpBestQuality;
  bool jpegProgressiveDisplay_ = false;
};

}  // namespace arkelin::viewers
