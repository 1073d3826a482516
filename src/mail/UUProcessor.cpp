// Base64 attachment lines; see UUProcessor.h.
#include "mail/UUProcessor.h"


namespace arkelin::mail {

namespace {
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

void EncodeBlock(std::string_view block, std::string& out) {
  std::size_t i = 0;
  for (; i + 3 <= block.size(); i += 3) {
    const unsigned v = (static_cast<unsigned char>(block[i]) << 16) |
                       (static_cast<unsigned char>(block[i + 1]) << 8) |
                       static_cast<unsigned char>(block[i + 2]);
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += kAlphabet[v & 63];
  }
  const std::size_t rest = block.size() - i;
  if (rest == 1) {
    const unsigned v = static_cast<unsigned char>(block[i]) << 16;
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += "==";
  } else if (rest == 2) {
    const unsigned v = (static_cast<unsigned char>(block[i]) << 16) |
                       (static_cast<unsigned char>(block[i + 1]) << 8);
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += '=';
  }
}
}  // namespace

std::string Base64Lines(std::string_view data) {
  std::string out;
  const std::size_t blocks = (data.size() + TNMUUProcessor::kBlockBytes - 1) / TNMUUProcessor::kBlockBytes;
  out.reserve(blocks * 62);
  for (std::size_t pos = 0; pos < data.size(); pos += TNMUUProcessor::kBlockBytes) {
    EncodeBlock(data.substr(pos, TNMUUProcessor::kBlockBytes), out);
    out += "\r\n";
  }
  return out;
}

std::string Base64(std::string_view data) {
  std::string out;
  out.reserve((data.size() + 2) / 3 * 4);
  EncodeBlock(data, out);
  return out;
}

std::string UuencodeLines(std::string_view data, std::string_view name) {
  // Each six bits become the character 32 + value, with "`" standing for 0
  // so that no line carries trailing blanks a mail server might strip.
  auto put = [](std::string& line, unsigned v) { line += v ? static_cast<char>(32 + v) : '`'; };
  std::string out = "begin 644 " + std::string(name) + "\r\n";
  for (std::size_t pos = 0; pos < data.size(); pos += TNMUUProcessor::kBlockBytes) {
    const std::string_view block = data.substr(pos, TNMUUProcessor::kBlockBytes);
    std::string line;
    put(line, static_cast<unsigned>(block.size()));
    for (std::size_t i = 0; i < block.size(); i += 3) {
      unsigned v = 0;
      for (std::size_t k = 0; k < 3; ++k)
        v = (v << 8) | (i + k < block.size() ? static_cast<unsigned char>(block[i + k]) : 0u);
      for (int shift = 18; shift >= 0; shift -= 6) put(line, (v >> shift) & 63);
    }
    if (line.front() == '.') out += '.';
    out += line + "\r\n";
  }
  out += "`\r\nend\r\n";
  return out;
}

void TNMUUProcessor::Encode(std::string_view data, std::string& out, std::string_view name) const {
  out += EncodeType == uuMime ? Base64Lines(data) : UuencodeLines(data, name);
}

}  // namespace arkelin::mail
