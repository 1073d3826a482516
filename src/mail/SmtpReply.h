// Reading the server's side of an SMTP conversation: where one reply line
// ends in the received bytes, the reply number at its start, whether a line
// continues a multi-line reply, and the mailbox inside a recipient text.
// Pure functions over bytes, so that they can be tested and fuzzed without a
// socket; they never allocate more than the line they return and never throw.
// They do not judge what a number means: the client decides which numbers
// fail a command.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace arkelin::mail {

// The longest reply line the client accepts; longer text is handed over in
// pieces of this size.
inline constexpr std::size_t kMaxReplyLine = 65536;

// The length of the first reply line in buffer, line feed included; a
// buffer of at least kMaxReplyLine bytes without a line feed gives
// kMaxReplyLine. 0 means the line is not complete yet.
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

}  // namespace arkelin::mail
