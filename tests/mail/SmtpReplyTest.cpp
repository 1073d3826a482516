// Reply lines and recipient addresses.
#include "mail/SmtpReply.h"

#include <gtest/gtest.h>

namespace arkelin::mail {
namespace {

TEST(SmtpReply, LineLengthWaitsForALineFeed) {
  EXPECT_EQ(ReplyLineLength(""), 0u);
  EXPECT_EQ(ReplyLineLength("250 ok"), 0u);
  EXPECT_EQ(ReplyLineLength("250 ok\r"), 0u);
  EXPECT_EQ(ReplyLineLength("250 ok\r\n354 next\r\n"), 8u);
  EXPECT_EQ(ReplyLineLength("\n"), 1u);
}

TEST(SmtpReply, OverlongLineIsNoLine) {
  EXPECT_EQ(ReplyLineLength(std::string(kMaxReplyLine + 10, 'x')), kReplyLineTooLong);
  EXPECT_EQ(ReplyLineLength(std::string(kMaxReplyLine, 'x')), kReplyLineTooLong);
  EXPECT_EQ(ReplyLineLength(std::string(kMaxReplyLine - 1, 'x')), 0u);
  // The line feed counts: 65,535 characters and it make the longest line.
  EXPECT_EQ(ReplyLineLength(std::string(kMaxReplyLine, 'x') + "\n"), kReplyLineTooLong);
  EXPECT_EQ(ReplyLineLength(std::string(kMaxReplyLine - 1, 'x') + "\n"), kMaxReplyLine);
  EXPECT_EQ(ReplyLineLength(std::string(kMaxReplyLine - 1, 'x') + "\n" + std::string(kMaxReplyLine, 'y')),
            kMaxReplyLine);
}

TEST(SmtpReply, NumberIsTheLeadingDigits) {
  EXPECT_EQ(ReplyNumber("250 ok\r\n"), 250);
  EXPECT_EQ(ReplyNumber("554-5.7.1 refused"), 554);
  EXPECT_EQ(ReplyNumber("220"), 220);
  EXPECT_EQ(ReplyNumber(""), 0);
  EXPECT_EQ(ReplyNumber("ok 250"), 0);
  EXPECT_EQ(ReplyNumber(" 250"), 0);
  EXPECT_EQ(ReplyNumber("-250"), 0);
  EXPECT_EQ(ReplyNumber("0042x"), 42);
}

TEST(SmtpReply, NumberLooksAtTenCharactersAndNeverWrapsToSuccess) {
  EXPECT_EQ(ReplyNumber("0000000000250"), 0);  // the digits after ten characters are not read
  EXPECT_EQ(ReplyNumber("000000000250"), 2);
  EXPECT_EQ(ReplyNumber("0000002500"), 2500);
  EXPECT_EQ(ReplyNumber("32767"), 32767);
  // 65786 would wrap to 250 in 16 bits.
  EXPECT_EQ(ReplyNumber("65786 fake"), 32767);
  EXPECT_EQ(ReplyNumber("9999999999"), 32767);
}

TEST(SmtpReply, ContinuationLines) {
  EXPECT_TRUE(IsContinuedReply("250-mail.test\r\n"));
  EXPECT_TRUE(IsContinuedReply(" more text"));
  EXPECT_FALSE(IsContinuedReply("250 done\r\n"));
  EXPECT_FALSE(IsContinuedReply("250"));
  EXPECT_FALSE(IsContinuedReply(""));
  EXPECT_FALSE(IsContinuedReply("25-0"));
}

TEST(SmtpReply, LineEndIsStripped) {
  EXPECT_EQ(WithoutLineEnd("554 no\r\n"), "554 no");
  EXPECT_EQ(WithoutLineEnd("554 no\n"), "554 no");
  EXPECT_EQ(WithoutLineEnd("\r\n"), "");
  EXPECT_EQ(WithoutLineEnd("a\r\nb"), "a\r\nb");
}

TEST(SmtpReply, AddressFromARecipientText) {
  EXPECT_EQ(ExtractAddress("Bob Receiver <bob@example.org>"), "bob@example.org");
  EXPECT_EQ(ExtractAddress("<a@b> and <c@d>"), "a@b");
  EXPECT_EQ(ExtractAddress("Bob <bob@example.org"), "bob@example.org");  // no closing bracket
  EXPECT_EQ(ExtractAddress("SMTP:bob@example.org"), "bob@example.org");
  EXPECT_EQ(ExtractAddress("x:bob@example.org:y"), "bob@example.org");
  EXPECT_EQ(ExtractAddress("bob@example.org"), "bob@example.org");
  EXPECT_EQ(ExtractAddress("<>"), "");
  EXPECT_EQ(ExtractAddress(""), "");
  // "<" wins over ":".
  EXPECT_EQ(ExtractAddress("To: Bob <bob@example.org>"), "bob@example.org");
}

TEST(SmtpReply, MailboxesWithBracketsOrControlsAreUnsafe) {
  EXPECT_TRUE(IsSafeMailbox("bob@example.org"));
  EXPECT_TRUE(IsSafeMailbox(""));  // the null sender of bounces
  EXPECT_TRUE(IsSafeMailbox("\"odd name\"@example.org"));
  EXPECT_FALSE(IsSafeMailbox("bob@example.org> NOTIFY=NEVER"));
  EXPECT_FALSE(IsSafeMailbox("<bob@example.org"));
  EXPECT_FALSE(IsSafeMailbox("bob@example.org\r\nRSET"));
  EXPECT_FALSE(IsSafeMailbox(std::string("bob\0@x", 7)));
  EXPECT_FALSE(IsSafeMailbox("bob\x7f@x"));
  EXPECT_TRUE(IsSafeMailbox("j\xc3\xb6rg@example.org"));  // UTF-8 is left to the server
}

TEST(SmtpReply, EhloOfferReadsStartTlsAndLoginMechanisms) {
  const TEhloOffer offer = ParseEhloReply({"250-mail.test greets you\r\n", "250-SIZE 33554432\r\n",
                                           "250-starttls\r\n", "250-AUTH LOGIN CRAM-MD5\r\n",
                                           "250-AUTH=PLAIN LOGIN\r\n", "250 HELP\r\n"});
  EXPECT_TRUE(offer.startTls);
  EXPECT_TRUE(offer.authPlain);
  EXPECT_TRUE(offer.authLogin);
  EXPECT_EQ(offer.authMechanisms, "LOGIN CRAM-MD5 PLAIN");
  // The first line is the server's name, whatever it says.
  const TEhloOffer none = ParseEhloReply({"250-STARTTLS\r\n", "250 AUTHX PLAIN\r\n"});
  EXPECT_FALSE(none.startTls);
  EXPECT_FALSE(none.authPlain);
  EXPECT_TRUE(none.authMechanisms.empty());
  const TEhloOffer other = ParseEhloReply({"250-x\r\n", "250 AUTH CRAM-MD5 XOAUTH2"});
  EXPECT_FALSE(other.authPlain || other.authLogin);
  EXPECT_EQ(other.authMechanisms, "CRAM-MD5 XOAUTH2");
  EXPECT_FALSE(ParseEhloReply({"250-x", "250", "25", ""}).startTls);
}

}  // namespace
}  // namespace arkelin::mail
