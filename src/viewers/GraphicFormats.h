// The picture classes and the registry that chooses one by file extension.
//
// TGraphic is the abstract picture: it loads itself from a stream, reports
// its size, draws itself stretched over a rectangle and tells its owner when
// what it shows has changed (an animation moving on). TGraphicFormats maps
// file extensions, compared without regard to case, to a description and a
// factory; Default() holds the formats the program reads itself (GIF, with
// the description "Graphics Interchange Format"), and the image viewer adds
// the ones it brings. TPicture owns one graphic of the format chosen when a
// file is loaded into it.
//
// An extension that no format claims fails with EInvalidGraphicOperation, the
// kind a caller treats as "no picture". Nothing here is thread-safe; pictures
// live on the user-interface thread.
#pragma once

#include <QImage>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QIODevice;
class QPainter;
class QRect;

namespace arkelin::viewers {

class TGraphic {
 public:
  virtual ~TGraphic() = default;

  // Reads the picture from the stream's position to its end.
  virtual void LoadFromStream(QIODevice& in) = 0;
  virtual void SaveToStream(QIODevice& out) const = 0;
  // Opens the file and loads it; a file that cannot be opened fails with
  // EStreamError "Cannot open file \"<path>\"".
  void LoadFromFile(const std::string& path);

  virtual int Width() const = 0;
  virtual int Height() const = 0;
  // Formats whose size comes from the file ignore these.
  virtual void SetWidth(int) {}
  virtual void SetHeight(int) {}
  virtual bool Empty() const = 0;
  // Stretches the picture over the whole rectangle.
  virtual void Draw(QPainter& canvas, const QRect& rect) const = 0;

  // Clipboard: the image that "copy" would place there (null when none), and
  // loading from a clipboard format, which formats may refuse to do.
  virtual QImage ClipboardImage() const = 0;
  virtual void LoadFromClipboardFormat(const QImage&) {}
  // Puts ClipboardImage() on the system clipboard; needs a QGuiApplication
  // and does nothing without one.
  void SaveToClipboard() const;

  // Called after what the picture shows has changed (for example an animated
  // picture moving to its next frame). The handler runs synchronously, on the
  // user-interface thread, and may repaint.
  std::function<void(TGraphic& sender)> OnChange;

 protected:
  void Changed();
};

struct TGraphicFormat {
  std::string extension;     // without the dot, as registered
  std::string description;
  std::function<std::unique_ptr<TGraphic>()> create;
};

class TGraphicFormats {
 public:
  // The process-wide registry, with the program's own formats registered.
  static TGraphicFormats& Default();

  // Adds a format, or replaces the one with the same extension (case ignored).
  void Register(const std::string& extension, const std::string& description,
                std::function<std::unique_ptr<TGraphic>()> create);
  void Unregister(const std::string& extension);
  // The format for an extension, with or without its leading dot; nullptr
  // when none claims it.
  const TGraphicFormat* Find(const std::string& extension) const;
  // A new, empty graphic for the extension of fileName; fails with
  // EInvalidGraphicOperation "Unknown picture file extension (.<ext>)".
  std::unique_ptr<TGraphic> CreateFor(const std::string& fileName) const;
  // "Description (*.ext)|*.ext" for every format, joined with "|", in the
  // order of registration: the filter form of the file dialogs.
  std::string Filter() const;
  const std::vector<TGraphicFormat>& Formats() const { return formats_; }

 private:
  std::vector<TGraphicFormat> formats_;
};

// Owns one graphic, of the format the loaded file's extension chose.
class TPicture {
 public:
  TPicture() = default;
  TPicture(const TPicture&) = delete;
  TPicture& operator=(const TPicture&) = delete;

  // Replaces the graphic with a new one of the format registered for the
  // file's extension and loads the file into it. On any failure the picture
  // is left empty and the error passes on.
  void LoadFromFile(const std::string& path,
                    const TGraphicFormats& formats = TGraphicFormats::Default());
  void Clear() { graphic_.reset(); }
  TGraphic* Graphic() const { return graphic_.get(); }
  int Width() const;
  int Height() const;

  // Forwarded from the graphic held at the time.
  std::function<void(TPicture& sender)> OnChange;

 private:
  std::unique_ptr<TGraphic> graphic_;
};

}  // namespace arkelin::viewers
