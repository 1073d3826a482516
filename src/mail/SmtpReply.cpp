// Reply lines and recipient addresses; see SmtpReply.h.
#include "mail/SmtpReply.h"

#include <algorithm>

namespace arkelin::mail {

std::size_t ReplyLineLength(std::string_view buffer) {
  const std::size_t lf = buffer.find('\n');
  if (lf != std::string_view::npos && lf < kMaxReplyLine) return lf + 1;
  if (buffer.size() >= kMaxReplyLine) return kReplyLineTooLong;
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

bool IsSafeMailbox(std::string_view address) {
  for (const char ch : address) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '<' || c == '>' || c < 0x20 || c == 0x7f) return false;
  }
  return true;
}

namespace {
std::string Upper(std::string_view s) {
  std::string u(s);
  for (char& c : u)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return u;
}

// The blank-separated words of text.
std::vector<std::string> Words(std::string_view text) {
  std::vector<std::string> words;
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    std::size_t j = i;
    while (j < text.size() && text[j] != ' ' && text[j] != '\t') ++j;
    if (j > i) words.emplace_back(text.substr(i, j - i));
    i = j;
  }
  return words;
}
}  // namespace

TEhloOffer ParseEhloReply(const std::vector<std::string>& lines) {
  TEhloOffer offer;
  for (std::size_t n = 1; n < lines.size(); ++n) {
    std::string_view line = WithoutLineEnd(lines[n]);
    // "250-KEYWORD params" or "250 KEYWORD params"
    if (line.size() < 4) continue;
    line.remove_prefix(4);
    std::vector<std::string> words = Words(line);
    if (words.empty()) continue;
    std::string keyword = Upper(words[0]);
    if (keyword == "STARTTLS") {
      offer.startTls = true;
      continue;
    }
    std::vector<std::string> mechanisms;
    if (keyword == "AUTH") {
      mechanisms.assign(words.begin() + 1, words.end());
    } else if (keyword.rfind("AUTH=", 0) == 0) {
      mechanisms.assign(words.begin() + 1, words.end());
      mechanisms.insert(mechanisms.begin(), keyword.substr(5));
    } else {
      continue;
    }
    for (const std::string& m : mechanisms) {
      const std::string mech = Upper(m);
      if (mech.empty()) continue;
      if (mech == "PLAIN") offer.authPlain = true;
      if (mech == "LOGIN") offer.authLogin = true;
      if ((" " + offer.authMechanisms + " ").find(" " + mech + " ") != std::string::npos) continue;
      if (!offer.authMechanisms.empty()) offer.authMechanisms += ' ';
      offer.authMechanisms += mech;
    }
  }
  return offer;
}

}  // namespace arkelin::mail
