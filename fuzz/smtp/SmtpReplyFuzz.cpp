// The SMTP client's reply reading over arbitrary server bytes: the bytes are
// cut into reply lines the way the client cuts its receive buffer, each
// line goes through the number, continuation and address readers, and the
// lines together through the EHLO offer reader. Any broken invariant
// aborts, so the smoke run and libFuzzer both notice.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "mail/SmtpReply.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace arkelin::mail;
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> lines;
  while (!rest.empty()) {
    std::size_t n = ReplyLineLength(rest);
    if (n == kReplyLineTooLong) {
      if (rest.size() < kMaxReplyLine || rest.substr(0, kMaxReplyLine).find('\n') != std::string_view::npos)
        std::abort();
      break;  // the client gives up here
    }
    if (n > rest.size() || n > kMaxReplyLine) std::abort();
    if (n == 0) n = rest.size();  // the server closed on a partial line
    const std::string_view line = rest.substr(0, n);
    const int number = ReplyNumber(line);
    if (number < 0 || number > 32767) std::abort();
    (void)IsContinuedReply(line);
    const std::string_view bare = WithoutLineEnd(line);
    if (bare.size() > line.size()) std::abort();
    const std::string address = ExtractAddress(line);
    if (address.size() > line.size()) std::abort();
    if (IsSafeMailbox(address) && address.find_first_of("<>\r\n") != std::string::npos) std::abort();
    lines.emplace_back(line);
    rest.remove_prefix(n);
  }
  const TEhloOffer offer = ParseEhloReply(lines);
  if (offer.authMechanisms.size() > size) std::abort();
  if ((offer.authPlain || offer.authLogin) && offer.authMechanisms.empty()) std::abort();
  return 0;
}
