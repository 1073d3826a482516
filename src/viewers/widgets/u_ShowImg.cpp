#include "viewers/widgets/u_ShowImg.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>
#include <QVBoxLayout>

namespace arkelin::viewers {

namespace {
TF_ShowImg::ShowHook g_showHook;
}

TAdvImageWidget::TAdvImageWidget(QWidget* parent) : QWidget(parent) {
  setAutoFillBackground(true);
  image_.OnInvalidate = [this] { update(); };
  image_.OnRepaintNow = [this] { repaint(); };
}

void TAdvImageWidget::paintEvent(QPaintEvent*) {
  QPainter p(this);
  TAdvImageLook look;
  look.face = palette().color(QPalette::Button);
  look.light = palette().color(QPalette::Light);
  look.dark = palette().color(QPalette::Dark);
  look.text = palette().color(QPalette::WindowText);
  look.font = font();
  image_.Paint(p, width(), height(), look);
}

void TAdvImageWidget::mousePressEvent(QMouseEvent* e) {
  if (OnClick) OnClick();
  QWidget::mousePressEvent(e);
}

TF_ShowImg::TF_ShowImg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Image"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  AdvImage1 = new TAdvImageWidget(this);
  layout->addWidget(AdvImage1);
  TAdvImage& a = AdvImage1->Image();
  a.SetBevelWidth(4);
  a.SetShowFrame3D(true);
  a.SetStretchRatio(true);
  a.SetCenterView(true);
  a.SetShowEmptyLabel(true);
  a.SetEmptyLabel(QStringLiteral("Empty"));
  a.SetGIFAnimate(true);
  a.SetGifAnimateSpeed(10);
  a.SetJPEGPixelFormat(TJPEGPixelFormat::jf24Bit);
  a.SetJPEGScale(TJPEGScale::jsFullSize);
  a.SetJPEGGrayscale(false);
  a.SetJPEGPerformance(TJPEGPerformance::jpBestQuality);
  a.SetJPEGProgressiveDisplay(false);
  AdvImage1->OnClick = [this] { close(); };
  resize(400, 300);
}

void TF_ShowImg::SetShowHook(ShowHook hook) { g_showHook = std::move(hook); }

void TF_ShowImg::LoadFile(const QString& path) {
  TAdvImage& a = AdvImage1->Image();
  a.LoadFromFile(path.toStdString());
  setWindowTitle(path);
  // The picture with its frame, shrunk to the screen when larger.
  QSize want(400, 300);
  if (const TGraphic* g = a.Picture().Graphic(); g && g->Width() > 0)
    want = QSize(g->Width() + 2 * a.BevelWidth(), g->Height() + 2 * a.BevelWidth());
  QRect screen(0, 0, 1024, 768);
  if (const QScreen* s = QGuiApplication::primaryScreen()) screen = s->availableGeometry();
  want = want.boundedTo(screen.size() * 9 / 10).expandedTo(QSize(200, 150));
  resize(want);
  move(screen.center() - rect().center());
}

void TF_ShowImg::ShowModal() {
  if (g_showHook) {
    g_showHook(*this);
    return;
  }
  exec();
}

void TF_ShowImg::keyPressEvent(QKeyEvent* e) {
  // A key that types a character closes the viewer; Esc types one too.
  if (!e->text().isEmpty()) {
    close();
    e->accept();
    return;
  }
  e->ignore();
}

}  // namespace arkelin::viewers
