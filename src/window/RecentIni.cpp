#include "window/RecentIni.h"

#include <QSaveFile>
#include <QFile>

#include <algorithm>
#include <cctype>

#include "platform/Paths.h"

namespace arkelin::window {

namespace {

std::string Trim(const std::string& s) {
  const auto b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return {};
  const auto e = s.find_last_not_of(" \t\r");
  return s.substr(b, e - b + 1);
}

bool SameText(const std::string& a, const std::string& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
           return std::tolower(x) == std::tolower(y);
         });
}

// "[name]" -> name; empty optional-like "" with ok=false for other lines.
bool SectionName(const std::string& line, std::string& name) {
  const std::string t = Trim(line);
  if (t.size() < 2 || t.front() != '[' || t.back() != ']') return false;
  name = Trim(t.substr(1, t.size() - 2));
  return true;
}

std::vector<std::string> ReadLines(const std::string& path) {
  std::vector<std::string> lines;
  QFile f(QString::fromStdString(platform::FromFsPath(platform::ToFsPath(path))));
  if (!f.open(QIODevice::ReadOnly)) return lines;
  const QByteArray all = f.readAll();
  std::string cur;
  for (char c : all) {
    if (c == '\n') {
      if (!cur.empty() && cur.back() == '\r') cur.pop_back();
      lines.push_back(cur);
      cur.clear();
    } else {
      cur.push_back(c);
    }
  }
  if (!cur.empty()) lines.push_back(cur);
  return lines;
}

}  // namespace

std::vector<std::string> IniSectionFile::SectionLines(const std::string& section) {
  std::vector<std::string> out;
  bool inside = false;
  for (const std::string& line : ReadLines(path_)) {
    std::string name;
    if (SectionName(line, name)) {
      inside = SameText(name, section);
      continue;
    }
    if (!inside) continue;
    const std::string t = Trim(line);
    if (t.empty() || t[0] == ';') continue;
    if (t.find('=') == std::string::npos) continue;
    out.push_back(t);
  }
  return out;
}

bool IniSectionFile::WriteString(const std::string& section, const std::string& key,
                                 const std::string& value) {
  std::vector<std::string> lines = ReadLines(path_);
  const std::string entry = key + "=" + value;
  bool inside = false, done = false;
  size_t lastOfSection = 0;
  bool sectionSeen = false;
  for (size_t i = 0; i < lines.size() && !done; ++i) {
    std::string name;
    if (SectionName(lines[i], name)) {
      if (inside) break;  // end of our section without the key
      inside = SameText(name, section);
      if (inside) {
        sectionSeen = true;
        lastOfSection = i;
      }
      continue;
    }
    if (!inside) continue;
    const std::string t = Trim(lines[i]);
    if (!t.empty()) lastOfSection = i;
    const auto eq = t.find('=');
    if (eq != std::string::npos && SameText(Trim(t.substr(0, eq)), key)) {
      lines[i] = entry;
      done = true;
    }
  }
  if (!done) {
    if (sectionSeen) {
      lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(lastOfSection + 1), entry);
    } else {
      lines.push_back("[" + section + "]");
      lines.push_back(entry);
    }
  }
  QSaveFile f(QString::fromStdString(path_));
  if (!f.open(QIODevice::WriteOnly)) return false;
  for (const std::string& l : lines) {
    f.write(l.data(), static_cast<qint64>(l.size()));
    f.write("\r\n", 2);
  }
  return f.commit();
}

}  // namespace arkelin::window
