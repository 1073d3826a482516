// Reading the server's side of an SMTP conversation: where one reply line
// ends in the received bytes, the reply number at its start, whether a line
// continues a multi-line reply, what an EHLO reply offers, and the mailbox
// inside a recipient text (with the check that keeps it from carrying
// command parameters).
// Pure functions over bytes, so that they can be tested and fuzzed without a
// socket; they never allocate more than the line they return and never throw.
// They do not judge what a number means: the client decides which numbers
// fail a command.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace arkelin::mail {

// The longest reply line the client accepts, line feed included. A longer
// line is no reply at all: cutting it into pieces would make its tail pass
// for the answer to the next command.
inline constexpr std::size_t kMaxReplyLine = 65536;
// One reply (all its lines together) is bounded as well, so that a server
// sending "250-..." lines without end cannot hold the client for ever.
// Real servers answer EHLO in a dozen lines of a few hundred bytes.
inline constexpr std::size_t kMaxReplyLines = 100;
inline constexpr std::size_t kMaxReplyBytes = 256 * 1024;

// What ReplyLineLength answers for a line longer than kMaxReplyLine.
inline constexpr std::size_t kReplyLineTooLong = static_cast<std::size_t>(-1);

// The length of the first reply line in buffer, line feed included. 0 means
// the line is not complete yet; kReplyLineTooLong that the first
// kMaxReplyLine bytes hold no line feed.
std::size_t ReplyLineLength(std::string_view buffer);

// The value of the leading decimal digits of a reply line. At most the first
// 10 characters are looked at; no digits give 0. A value above the signed
// 16-bit range reads as 32767 rather than wrapping into a small or negative
// number that would pass for success.
std::int16_t ReplyNumber(std::string_view line);

// True when, after a reply line, another line of the same reply follows: the
// line starts with a blank, or has "-" as its fourth character ("250-...").
bool IsContinuedReply(std::string_view line);

// The line without its trailing CR/LF characters.
std::string_view WithoutLineEnd(std::string_view line);

// The mailbox sent in "RCPT TO:<...>" for a recipient as the user typed it:
// the text between the first "<" and the next ">"; else, when it contains
// ":", the text after the first ":" up to the next ":"; else the text itself.
std::string ExtractAddress(std::string_view recipient);

// True when address can stand between "<" and ">" of MAIL FROM or RCPT TO
// as one mailbox: no angle brackets (a ">" would end the path and let the
// rest pass as command parameters, "a@b> NOTIFY=NEVER"), no line breaks and
// no other control characters.
bool IsSafeMailbox(std::string_view address);

// The extensions an EHLO reply announces that the client uses.
struct TEhloOffer {
  bool startTls = false;
  bool authPlain = false;
  bool authLogin = false;
  // The AUTH mechanisms as announced, upper case, separated by blanks.
  std::string authMechanisms;
};

// Reads the lines of an EHLO reply (each with or without its line end; the
// first names the server and is skipped). Keywords compare without regard
// to case; both "AUTH PLAIN LOGIN" and the older "AUTH=PLAIN LOGIN" count.
TEhloOffer ParseEhloReply(const std::vector<std::string>& lines);

}  // namespace arkelin::mail
