// Our RTF reader over hostile bytes. Whatever it reads, the writer must
// write, and reading that again must give a document the writer writes the
// same way (the writer's output is its own fixed point). Small inputs also
// go through the editor's document model and back.
#include <QTextDocument>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "GifTestSupport.h"   // EnsureGuiApp
#include "viewers/Rtf.h"
#include "viewers/TextDocumentIO.h"

using namespace arkelin::viewers;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  rtf::Document doc;
  try {
    doc = rtf::Read(bytes);
  } catch (const rtf::RtfError&) {
    return 0;
  }
  if (doc.paragraphs.empty()) std::abort();
  const std::string once = rtf::Write(doc);
  const std::string twice = rtf::Write(rtf::Read(once));
  if (once != twice) std::abort();

  if (size < 4096) {
    arkelin::viewers::testing::EnsureGuiApp();
    QTextDocument qdoc;
    TextFileFormat format =
        LoadTextBytes(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)), qdoc);
    const QByteArray saved = SaveTextBytes(qdoc, format);
    QTextDocument again;
    LoadTextBytes(saved, again);
    // The text survives a save and a load through the document model.
    if (RawPlainText(again) != RawPlainText(qdoc)) std::abort();
  }
  return 0;
}
