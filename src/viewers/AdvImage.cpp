#include "viewers/AdvImage.h"

#include <QFileInfo>
#include <QFontMetrics>
#include <QPainter>

#include "viewers/GraphicErrors.h"
#include "viewers/MPGifImg.h"

namespace arkelin::viewers {

TAdvImage::TAdvImage() {
  RegisterViewerFormats();
  picture_.OnChange = [this](TPicture&) { PictureChanged(); };
}

QRect TAdvImage::Fit(int aw, int ah, int pw, int ph) {
  // Integer arithmetic: aw / pw * ph truncated is (aw * ph) / pw exactly.
  const int64_t AW = aw, AH = ah, PW = pw, PH = ph;
  int64_t w = PW, h = PH;
  if (PW <= 0 || PH <= 0) return QRect(0, 0, 0, 0);
  if (PH > AH && PW > AW) {
    w = AW;
    h = AW * PH / PW;
    if (h > AH) {
      w = h > 0 ? AH * AW / h : 0;
      h = AH;
    }
  } else if (PH > AH) {
    w = AH * PW / PH;
    h = AH;
  } else if (PW > AW) {
    w = AW;
    h = AW * PH / PW;
  }
  return QRect(0, 0, static_cast<int>(std::max<int64_t>(w, 0)), static_cast<int>(std::max<int64_t>(h, 0)));
}

namespace {
bool IsUsableFile(const std::string& path) {
  const QFileInfo fi(QString::fromStdString(path));
  return fi.exists() && fi.isFile();
}
}  // namespace

void TAdvImage::LoadFromFile(const std::string& path) {
  picture_.Clear();
  if (IsUsableFile(path)) {
    // JPEG pictures get their options before they decode, so that a
    // progressive display shows the passes of this very load.
    TGraphicFormats formats = TGraphicFormats::Default();
    for (const char* ext : {"jpg", "jpeg"}) {
      const TGraphicFormat* f = formats.Find(ext);
      formats.Register(ext, f ? f->description : std::string("JPEG Image File"), [this] {
        auto j = std::make_unique<TJPEGImage>();
        j->SetPixelFormat(jpegPixelFormat_);
        j->SetScale(jpegScale_);
        j->SetGrayscale(jpegGrayscale_);
        j->SetPerformance(jpegPerformance_);
        j->SetProgressiveDisplay(jpegProgressiveDisplay_);
        loading_ = j.get();
        return std::unique_ptr<TGraphic>(std::move(j));
      });
    }
    try {
      picture_.LoadFromFile(path, formats);
    } catch (const EInvalidGraphicOperation&) {
      picture_.Clear();
    } catch (const EStreamError&) {
      picture_.Clear();   // the file could not be read
    } catch (...) {
      loading_ = nullptr;
      throw;
    }
    loading_ = nullptr;
  }
  if (auto* jpeg = dynamic_cast<TJPEGImage*>(picture_.Graphic())) {
    jpeg->SetPixelFormat(jpegPixelFormat_);
    jpeg->SetScale(jpegScale_);
    jpeg->SetGrayscale(jpegGrayscale_);
    jpeg->SetPerformance(jpegPerformance_);
    jpeg->SetProgressiveDisplay(jpegProgressiveDisplay_);
  }
  if (auto* gif = dynamic_cast<TGIFImage*>(picture_.Graphic())) {
    gif->SetAnimate(gifAnimate_);
    gif->SetSpeed(gifAnimateSpeed_);
  }
  Invalidate();
}

void TAdvImage::Clear() {
  picture_.Clear();
  imageRect_ = QRect();
  imageName_.clear();
  Invalidate();
}

void TAdvImage::SetImageName(const std::string& name) {
  if (name == imageName_) return;
  if (name.empty() || !IsUsableFile(name)) {
    Clear();
    return;
  }
  imageName_ = name;
  LoadFromFile(name);
}

TImageType TAdvImage::ImageType() const {
  const TGraphic* g = picture_.Graphic();
  if (dynamic_cast<const TGIFImage*>(g)) return TImageType::itGif;
  if (dynamic_cast<const TJPEGImage*>(g)) return TImageType::itJpeg;
  if (auto* q = dynamic_cast<const TQtImage*>(g)) return q->Format() == "png" ? TImageType::itPng : TImageType::itBmp;
  return TImageType::itUnknown;
}

TGraphic* TAdvImage::Shown() const { return picture_.Graphic() ? picture_.Graphic() : loading_; }

void TAdvImage::PictureChanged() {
  TGraphic* g = Shown();
  if (!g || g->Width() <= 0 || g->Height() <= 0) return;
  const bool animated = gifAnimate_ && dynamic_cast<TGIFImage*>(g);
  const bool progressive = jpegProgressiveDisplay_ && dynamic_cast<TJPEGImage*>(g);
  if ((animated || progressive) && OnRepaintNow) OnRepaintNow();
}

void TAdvImage::Paint(QPainter& p, int W, int H, const TAdvImageLook& look) {
  const int bw = bevelWidth_;
  int left = 0, top = 0, right = W, bottom = H;
  p.setFont(look.font);
  if (showFrame3D_) {
    for (int i = 0; i < bw; ++i) {
      p.setPen(look.light);
      p.drawLine(i, i, W - 1 - i, i);
      p.drawLine(i, i, i, H - 1 - i);
      p.setPen(look.dark);
      p.drawLine(i, H - 1 - i, W - 1 - i, H - 1 - i);
      p.drawLine(W - 1 - i, i, W - 1 - i, H - 1 - i);
    }
    left = top = bw;
    right = W - bw;
    bottom = H - bw;
  }
  const QFontMetrics fm(look.font);
  if (!caption_.isEmpty()) bottom -= fm.height();
  const int aw = right - left, ah = bottom - top;
  TGraphic* g = Shown();
  if (g && g->Width() > 0) {
    QRect r = stretchRatio_ ? Fit(aw, ah, g->Width(), g->Height()) : QRect(0, 0, g->Width(), g->Height());
    if (showFrame3D_) r.translate(bw, bw);
    if (centerView_) r.moveTo(left + aw / 2 - r.width() / 2, top + ah / 2 - r.height() / 2);
    imageRect_ = r;
    if (r.width() > 0 && r.height() > 0) g->Draw(p, r);
    FillSurroundings(p, W, H, look);
    DrawCaption(p, W, H, look);
  } else {
    // What clearing the control leaves (the background and the caption),
    // then the label.
    imageRect_ = QRect();
    FillSurroundings(p, W, H, look);
    DrawCaption(p, W, H, look);
    if (!showEmptyLabel_) return;
    p.setPen(look.text);
    const int tw = fm.horizontalAdvance(emptyLabel_), th = fm.height();
    p.drawText((W - tw) / 2, (H - th) / 2 + fm.ascent(), emptyLabel_);
  }
}

void TAdvImage::FillSurroundings(QPainter& p, int W, int H, const TAdvImageLook& look) const {
  const QColor brush = checked_ ? checkColor_ : look.face;
  const int b = showFrame3D_ ? bevelWidth_ : 0;
  if (imageRect_.isNull()) {   // no picture: the whole inside
    if (W - 2 * b > 0 && H - 2 * b > 0) p.fillRect(QRect(b, b, W - 2 * b, H - 2 * b), brush);
    return;
  }
  const QRect& r = imageRect_;
  const int L = r.left(), T = r.top(), R = r.left() + r.width(), B = r.top() + r.height();
  auto fill = [&](int x1, int y1, int x2, int y2) {
    if (x2 > x1 && y2 > y1) p.fillRect(QRect(x1, y1, x2 - x1, y2 - y1), brush);
  };
  fill(b, b, R, T);            // above, from the left border to the image's right edge
  fill(R, b, W - b, B);        // right, from the top border down to the image's bottom
  fill(L, B, W - b, H - b);    // below, from the image's left edge to the right border
  fill(b, T, L, H - b);        // left, from the image's top down to the bottom border
}

void TAdvImage::DrawCaption(QPainter& p, int W, int H, const TAdvImageLook& look) const {
  if (caption_.isEmpty()) return;
  const QFontMetrics fm(look.font);
  const int room = W - 2 * bevelWidth_;
  QString shown = caption_;
  if (fm.horizontalAdvance(caption_) > room) {
    shown.clear();
    for (qsizetype i = 0; i < caption_.size() && i < 255 && fm.horizontalAdvance(shown) < room; ++i)
      shown += caption_[i];
  }
  p.setPen(look.text);
  const int tw = fm.horizontalAdvance(shown);
  p.drawText((W - tw) / 2, H - fm.height() - bevelWidth_ + fm.ascent(), shown);
}

// ---- Properties ----

#define ARK_SETTER(Name, member, Type)   \
  void TAdvImage::Set##Name(Type v) {   \
    if (member == v) return;            \
    member = v;                         \
    Invalidate();                       \
  }
ARK_SETTER(BevelWidth, bevelWidth_, int)
ARK_SETTER(ShowFrame3D, showFrame3D_, bool)
ARK_SETTER(StretchRatio, stretchRatio_, bool)
ARK_SETTER(CenterView, centerView_, bool)
ARK_SETTER(ShowEmptyLabel, showEmptyLabel_, bool)
ARK_SETTER(EmptyLabel, emptyLabel_, const QString&)
ARK_SETTER(Caption, caption_, const QString&)
ARK_SETTER(Checked, checked_, bool)
ARK_SETTER(CheckColor, checkColor_, const QColor&)
ARK_SETTER(JPEGPixelFormat, jpegPixelFormat_, TJPEGPixelFormat)
ARK_SETTER(JPEGScale, jpegScale_, TJPEGScale)
ARK_SETTER(JPEGGrayscale, jpegGrayscale_, bool)
ARK_SETTER(JPEGPerformance, jpegPerformance_, TJPEGPerformance)
ARK_SETTER(JPEGProgressiveDisplay, jpegProgressiveDisplay_, bool)
#undef ARK_SETTER

void TAdvImage::SetGIFAnimate(bool v) {
  if (gifAnimate_ == v) return;
  gifAnimate_ = v;
  if (auto* gif = dynamic_cast<TGIFImage*>(picture_.Graphic())) gif->SetAnimate(v);
}

void TAdvImage::SetGifAnimateSpeed(int v) {
  if (gifAnimateSpeed_ == v) return;
  gifAnimateSpeed_ = v;
  if (auto* gif = dynamic_cast<TGIFImage*>(picture_.Graphic())) gif->SetSpeed(v);
}

}  // namespace arkelin::viewers
