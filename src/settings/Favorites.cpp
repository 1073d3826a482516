// The favourites file; see Favorites.h.
#include "settings/Favorites.h"

#include <QDateTime>
#include <QFileInfo>
#include <QLocale>
#include <QString>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/NameText.h"
#include "platform/Paths.h"
#include "settings/IniFile.h"
#include "shared/U_Globalfunc.h"

namespace arkelin::settings {

namespace {

// Names that are not valid UTF-8 keep their bytes apart (platform/NameText.h).
QString Q(const std::string& s) { return platform::NameToText(s); }

bool NeedsQuotes(const std::string& path) {
  return path.find(';') != std::string::npos || path.find('"') != std::string::npos;
}

std::vector<std::string> Fields(const std::string& text) {
  std::vector<std::string> out;
  std::size_t pos = 0;
  for (;;) {
    std::size_t semi = text.find(';', pos);
    out.push_back(text.substr(pos, semi == std::string::npos ? std::string::npos : semi - pos));
    if (semi == std::string::npos) break;
    pos = semi + 1;
  }
  return out;
}

}  // namespace

std::string TFavorites::DefaultPath() { return platform::DataFolder() + "Favorites.lst"; }

std::string TFavorites::EncodeLine(const TFavorite& f) {
  std::string path = f.Path;
  if (NeedsQuotes(path)) {
    std::string q = "\"";
    for (char c : path) {
      if (c == '"') q += '"';
      q += c;
    }
    path = q + "\"";
  }
  return path + ";" + f.Date + ";" + f.Size;
}

TFavorite TFavorites::DecodeLine(const std::string& line) {
  TFavorite f;
  if (!line.empty() && line[0] == '"') {
    std::string path;
    std::size_t i = 1;
    bool closed = false;
    while (i < line.size()) {
      if (line[i] == '"') {
        if (i + 1 < line.size() && line[i + 1] == '"') {
          path += '"';
          i += 2;
          continue;
        }
        closed = true;
        ++i;
        break;
      }
      path += line[i++];
    }
    if (closed && (i == line.size() || line[i] == ';')) {
      const std::string rest = i < line.size() ? line.substr(i + 1) : std::string();
      f.Path = path;
      f.Date = shared::NthToken(rest, 1, ';');
      f.Size = shared::NthToken(rest, 2, ';');
      return f;
    }
    // Not a quoted field after all: read as a plain line.
  }
  std::vector<std::string> fields = Fields(line);
  if (fields.size() <= 3) {
    f.Path = fields[0];
    if (fields.size() > 1) f.Date = fields[1];
    if (fields.size() > 2) f.Size = fields[2];
    return f;
  }
  // A name with ";" written unquoted: the last two fields are date and size.
  f.Size = fields.back();
  f.Date = fields[fields.size() - 2];
  for (std::size_t k = 0; k + 2 < fields.size(); ++k) f.Path += (k ? ";" : "") + fields[k];
  return f;
}

void TFavorites::Load() {
  const std::filesystem::path p = platform::ToFsPath(fileName_);
  std::error_code ec;
  if (!std::filesystem::exists(p, ec)) ReplaceTextFile(fileName_, "");
  items_.clear();
  std::ifstream in(p, std::ios::binary);
  if (!in) return;
  const std::string text((std::istreambuf_iterator<char>(in)), {});
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(pos, end - pos);
    if (!line.empty()) items_.push_back(DecodeLine(line));
    pos = end;
    if (pos < text.size() && text[pos] == '\r') ++pos;
    if (pos < text.size() && text[pos] == '\n') ++pos;
  }
}

void TFavorites::Save() const {
  std::string text;
  for (const TFavorite& f : items_) text += EncodeLine(f) + "\r\n";
  ReplaceTextFile(fileName_, text);
}

bool TFavorites::Remove(int index) {
  if (index < 0 || index >= Count()) return false;
  items_.erase(items_.begin() + index);
  return true;
}

bool TFavorites::Contains(const std::string& path) const {
  const QString p = Q(path);
  for (const TFavorite& f : items_) {
    if (Q(f.Path).compare(p, Qt::CaseInsensitive) == 0) return true;
  }
  return false;
}

bool TFavorites::Describe(const std::string& path, TFavorite& out, std::string& why) {
  if (path.find_first_of("\r\n") != std::string::npos) {
    why = "The name of " + path + " holds a line break; it cannot be kept as a favorite.";
    return false;
  }
  QFileInfo fi(QString::fromStdString(platform::ToFsPath(path).string()));
  if (!fi.exists()) {
    why = "Cannot read the date and size of " + path + ": the file does not exist.";
    return false;
  }
  out.Path = path;
  out.Date = QLocale::system().toString(fi.lastModified().date(), QLocale::ShortFormat).toStdString();
  out.Size = std::to_string(fi.size());
  return true;
}

}  // namespace arkelin::settings
