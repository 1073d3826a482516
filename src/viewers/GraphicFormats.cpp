// The picture base class, the format registry and TPicture: see GraphicFormats.h.
#include "viewers/GraphicFormats.h"

#include <QClipboard>
#include <QFile>
#include <QGuiApplication>

#include <algorithm>
#include <cctype>

#include "viewers/GraphicErrors.h"
#include "viewers/MPGifImg.h"

namespace arkelin::viewers {

namespace {
std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

std::string WithoutDot(const std::string& ext) {
  return !ext.empty() && ext.front() == '.' ? ext.substr(1) : ext;
}

// The extension of a file name: after the last dot of the last path
// component; empty when it has none.
std::string ExtensionOf(const std::string& fileName) {
  const size_t slash = fileName.find_last_of("/\\");
  const size_t dot = fileName.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  return fileName.substr(dot + 1);
}
}  // namespace

// ---- TGraphic ------------------------------------------------------------------

void TGraphic::LoadFromFile(const std::string& path) {
  QFile f(QString::fromStdString(path));
  if (!f.open(QIODevice::ReadOnly))
    throw EStreamError("Cannot open file \"" + path + "\"");
  LoadFromStream(f);
}

void TGraphic::SaveToClipboard() const {
  if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return;
  const QImage image = ClipboardImage();
  if (!image.isNull()) QGuiApplication::clipboard()->setImage(image);
}

void TGraphic::Changed() {
  if (!OnChange) return;
  // A copy: the handler may free this picture (a viewer closing on change).
  auto handler = OnChange;
  handler(*this);
}

// ---- TGraphicFormats ---------------------------------------------------------------

TGraphicFormats& TGraphicFormats::Default() {
  static TGraphicFormats formats = [] {
    TGraphicFormats f;
    f.Register("GIF", "Graphics Interchange Format",
               [] { return std::unique_ptr<TGraphic>(new TGIFImage); });
    return f;
  }();
  return formats;
}

void TGraphicFormats::Register(const std::string& extension, const std::string& description,
                               std::function<std::unique_ptr<TGraphic>()> create) {
  const std::string ext = WithoutDot(extension);
  for (auto& f : formats_) {
    if (Lower(f.extension) == Lower(ext)) {
      f = TGraphicFormat{ext, description, std::move(create)};
      return;
    }
  }
  formats_.push_back(TGraphicFormat{ext, description, std::move(create)});
}

void TGraphicFormats::Unregister(const std::string& extension) {
  const std::string ext = Lower(WithoutDot(extension));
  formats_.erase(std::remove_if(formats_.begin(), formats_.end(),
                                [&](const TGraphicFormat& f) { return Lower(f.extension) == ext; }),
                 formats_.end());
}

const TGraphicFormat* TGraphicFormats::Find(const std::string& extension) const {
  const std::string ext = Lower(WithoutDot(extension));
  if (ext.empty()) return nullptr;
  for (const auto& f : formats_)
    if (Lower(f.extension) == ext) return &f;
  return nullptr;
}

std::unique_ptr<TGraphic> TGraphicFormats::CreateFor(const std::string& fileName) const {
  const std::string ext = ExtensionOf(fileName);
  const TGraphicFormat* f = Find(ext);
  if (!f || !f->create)
    throw EInvalidGraphicOperation("Unknown picture file extension (." + ext + ")");
  return f->create();
}

std::string TGraphicFormats::Filter() const {
  std::string out;
  for (const auto& f : formats_) {
    const std::string pattern = "*." + Lower(f.extension);
    if (!out.empty()) out += '|';
    out += f.description + " (" + pattern + ")|" + pattern;
  }
  return out;
}

// ---- TPicture --------------------------------------------------------------------

void TPicture::LoadFromFile(const std::string& path, const TGraphicFormats& formats) {
  graphic_.reset();
  std::unique_ptr<TGraphic> g = formats.CreateFor(path);
  g->OnChange = [this](TGraphic&) {
    if (!OnChange) return;
    auto handler = OnChange;
    handler(*this);
  };
  g->LoadFromFile(path);
  graphic_ = std::move(g);
}

int TPicture::Width() const { return graphic_ ? graphic_->Width() : 0; }

int TPicture::Height() const { return graphic_ ? graphic_->Height() : 0; }

}  // namespace arkelin::viewers
