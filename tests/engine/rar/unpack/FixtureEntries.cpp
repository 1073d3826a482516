// Fixture entries through the archive layer's reader (see FixtureEntries.h).
#include "FixtureEntries.h"

#include <fstream>
#include <iterator>

#include "engine/rar/UnrarApi.h"
#include "engine/rar/archive/RarReader.h"

namespace arkelin::engine::rar::unpack::test {

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::string FixturePath(const std::string& name) { return std::string(ARKELIN_FIXTURES) + "/rar/" + name; }

FixtureArchive ReadFixture(const std::string& first, const std::string& password) {
  using archive::RarEntry;
  using archive::RarReader;
  FixtureArchive out;
  RarReader reader;
  if (!password.empty()) reader.SetPassword(password);
  if (const int code = reader.Open(first); code != 0) {
    out.error = "open failed (" + std::to_string(code) + "): " + reader.LastMessage();
    return out;
  }
  out.comment = reader.Info().comment;
  RarEntry e;
  for (;;) {
    const int code = reader.Next(e);
    if (code == ERAR_END_ARCHIVE) break;
    if (code != 0) {
      out.error = "header " + std::to_string(code) + ": " + reader.LastMessage();
      break;
    }
    FixtureEntry f;
    f.name = e.name;
    f.stored = e.Stored();
    f.directory = e.isDirectory;
    f.encrypted = e.Encrypted() && password.empty();
    f.solid = e.solid;
    f.hasCrc = e.hasCrc && !e.crypt.macChecksums;
    f.crc = e.crc;
    f.unknownSize = e.unknownSize;
    f.unpackedSize = e.unpackedSize;
    f.dictionarySize = e.dictionarySize;
    f.decodable = !f.stored && !f.directory && !f.encrypted && e.problem.empty() && !e.splitBefore &&
                  !e.splitAfter && RarReader::DecoderFormat(e, f.format);
    if (f.decodable) {
      int open = 0;
      auto src = reader.OpenPackedData(open);
      if (!src) {
        f.decodable = false;
      } else {
        uint8_t buf[1 << 16];
        for (std::ptrdiff_t n; (n = src->Read(buf, sizeof buf)) > 0;) f.packed.insert(f.packed.end(), buf, buf + n);
      }
    }
    out.entries.push_back(std::move(f));
  }
  return out;
}

}  // namespace arkelin::engine::rar::unpack::test
