// Base64 attachment lines; see UUProcessor.h.
#include "mail/UUProcessor.h"

#include <stdexcept>

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

void TNMUUProcessor::Encode(std::string_view data, std::string& out) const {
  if (EncodeType != uuMime)
    throw std::runtime_error("uuencode attachments are not available yet");
  out += Base64Lines(data);
}

}  // namespace arkelin::mail
