// Reply lines and recipient addresses; see SmtpReply.h.
#include "mail/SmtpReply.h"

#include <algorithm>

namespace arkelin::mail {

std::size_t ReplyLineLength(std::string_view buffer) {
  const std::size_t lf = buffer.find('\n');
  if (lf != std::string_view::npos && lf < kMaxReplyLine) return lf + 1;
  if (buffer.size() >= kMaxReplyLine) return kMaxReplyLine;
  return 0;
}

std::int16_t ReplyNumber(std::string_view line) {
  const std::size_t limit = std::min<std::size_t>(line.size(), 10);
  std::int32_t value = 0;
  for (std::size_t i = 0; i < limit; ++i) {
    const char c = line[i];
    if (c < '0' || c > '9') break;
    value = value * 10 + (c - '0');
    // Ten digits could overflow 32 bits; once past the 16-bit range the
    // answer is fixed anyway.
    if (value > 32767) return 32767;
  }
  return static_cast<std::int16_t>(value);
}

bool IsContinuedReply(std::string_view line) {
  if (line.empty()) return false;
  if (line[0] == ' ') return true;
  return line.size() >= 4 && line[3] == '-';
}

std::string_view WithoutLineEnd(std::string_view line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  return line;
}

std::string ExtractAddress(std::string_view recipient) {
  const std::size_t lt = recipient.find('<');
  if (lt != std::string_view::npos) {
    const std::size_t gt = recipient.find('>', lt + 1);
    const std::size_t end = gt == std::string_view::npos ? recipient.size() : gt;
    return std::string(recipient.substr(lt + 1, end - lt - 1));
  }
  const std::size_t colon = recipient.find(':');
  if (colon != std::string_view::npos) {
    const std::size_t next = recipient.find(':', colon + 1);
    const std::size_t end = next == std::string_view::npos ? recipient.size() : next;
    return std::string(recipient.substr(colon + 1, end - colon - 1));
  }
  return std::string(recipient);
}

}  // namespace arkelin::mail
