// Header lines, boundaries, body text and the multipart body.
#include "mail/MailCompose.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <fstream>

namespace arkelin::mail {
namespace {

TPostMessage Sample() {
  TPostMessage m;
  m.FromName = "Ann";
  m.FromAddress = "ann@example.org";
  m.ToAddress = {"Bob <bob@example.org>", "carl@example.org"};
  m.ToCarbonCopy = {"cc1@example.org", "cc2@example.org"};
  m.ToBlindCarbonCopy = {"secret@example.org"};
  m.Subject = "Files";
  m.LocalProgram = "Arkelin";
  m.ReplyTo = "replies@example.org";
  m.Date = "Wed, 9 Dec 2026 12:00:00 +0000";
  return m;
}

TEST(TExStringList, ValuesByNameIgnoreCase) {
  TExStringList l;
  l.Add("From: a");
  l.SetValue("Subject", "one");
  EXPECT_EQ(l.Value("subject"), "one");
  l.SetValue("SUBJECT", "two");  // replaced in place, under the new spelling
  ASSERT_EQ(l.Count(), 2u);
  EXPECT_EQ(l[1], "SUBJECT: two");
  l.SetValue("X-Other", "x");
  l.SetValue("subject", "");  // an empty value deletes
  EXPECT_EQ(l.Lines(), (std::vector<std::string>{"From: a", "X-Other: x"}));
  l.SetValue("Missing", "");
  EXPECT_EQ(l.Count(), 2u);
  EXPECT_EQ(l.IndexOfName("from"), 0);
  EXPECT_EQ(l.IndexOfName("Fro"), -1);
  EXPECT_EQ(l.Text(), "From: a\r\nX-Other: x\r\n");
}

TEST(MailCompose, HeaderLinesInOrderWithoutBcc) {
  const TExStringList h = BuildHeader(Sample(), "B", mtPlain, "us-ascii");
  EXPECT_EQ(h.Lines(), (std::vector<std::string>{
                           "From: Ann<ann@example.org>",
                           "To: Bob <bob@example.org>,carl@example.org",
                           "CC: cc1@example.org,cc2@example.org",
                           "Subject: Files",
                           "X-Mailer: Arkelin",
                           "Reply-To: replies@example.org",
                           "Date: Wed, 9 Dec 2026 12:00:00 +0000",
                           "Mime-Version: 1.0",
                           "Content-Type: multipart/mixed; boundary=\"B\"",
                       }));
  EXPECT_EQ(h.Text().find("secret"), std::string::npos);
}

TEST(MailCompose, EmptyFieldsLeaveTheirLinesOut) {
  TPostMessage m;
  m.FromAddress = "ann@example.org";
  m.ToBlindCarbonCopy = {"x@example.org"};
  const TExStringList h = BuildHeader(m, "", mtPlain, "us-ascii");
  EXPECT_EQ(h.Lines(), (std::vector<std::string>{"From: <ann@example.org>", "Mime-Version: 1.0",
                                                 "Content-Type: text/plain; charset=us-ascii"}));
}

TEST(MailCompose, SubTypeGivesTheTextTypeWithoutAttachments) {
  const TPostMessage m = Sample();
  EXPECT_EQ(BuildHeader(m, "", mtEnriched, "utf-8").Value("Content-Type"), "text/enriched; charset=utf-8");
  EXPECT_EQ(BuildHeader(m, "", mtSgml, "x").Value("Content-Type"), "text/sgml; charset=x");
  EXPECT_EQ(BuildHeader(m, "", mtTabSeperated, "x").Value("Content-Type"), "text/tab-separated-values; charset=x");
  EXPECT_EQ(BuildHeader(m, "", mtHtml, "x").Value("Content-Type"), "text/html; charset=x");
  // With attachments the sub-type does not matter.
  EXPECT_EQ(BuildHeader(m, "Q", mtHtml, "x").Value("Content-Type"), "multipart/mixed; boundary=\"Q\"");
}

TEST(MailCompose, LineBreaksInFieldsCannotAddHeaderLines) {
  TPostMessage m = Sample();
  m.Subject = "Hi\r\nBcc: victim@example.org";
  m.ToAddress = {"bob@example.org\r\nX-Evil: 1"};
  const TExStringList h = BuildHeader(m, "", mtPlain, "us-ascii");
  for (const auto& line : h.Lines()) EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << line;
  EXPECT_EQ(h.IndexOfName("Bcc"), -1);
  EXPECT_EQ(h.Value("Subject"), "Hi  Bcc: victim@example.org");
}

TEST(MailCompose, BoundarySequenceOfARun) {
  TBoundarySource s;
  EXPECT_EQ(s.NextBoundary(), "====================54535aavfgq====");
  EXPECT_EQ(s.NextBoundary(), "====================54535hejkcl====");
  // The letters never reach "z".
  for (int i = 0; i < 2000; ++i) {
    const int r = s.Next(25);
    ASSERT_GE(r, 0);
    ASSERT_LT(r, 25);
  }
}

TEST(MailCompose, BodyLinesAreDotStuffed) {
  EXPECT_EQ(BodyTextLines({"a", ".", ".b", "..c", " .d", ""}), "a\r\n..\r\n..b\r\n...c\r\n .d\r\n\r\n");
  EXPECT_EQ(BodyTextLines({}), "");
}

TEST(MailCompose, LineBreaksInsideABodyLineCannotEndTheData) {
  EXPECT_EQ(BodyTextLines({"one\r\n.\r\nQUIT"}), "one\r\n..\r\nQUIT\r\n");
  EXPECT_EQ(BodyTextLines({"a\n.b\rc"}), "a\r\n..b\r\nc\r\n");
  EXPECT_EQ(BodyTextLines({"end\r\n"}), "end\r\n");
}

class MailComposeFiles : public ::testing::Test {
 protected:
  std::string File(const std::string& name, const std::string& data) {
    const std::string p = tmp_.path().toStdString() + "/" + name;
    std::ofstream(p, std::ios::binary) << data;
    return p;
  }
  QTemporaryDir tmp_;
};

TEST_F(MailComposeFiles, OneAttachmentAndNoBody) {
  TPostMessage m = Sample();
  m.Attachments = {File("a.zip", "foo")};
  std::vector<std::string> events;
  ComposeEvents ev;
  ev.encodeStart = [&](const std::string& p) { events.push_back("start " + p); };
  ev.encodeEnd = [&](const std::string& p) { events.push_back("end " + p); };
  const std::string body = ComposeBody(m, "B", "us-ascii", TNMUUProcessor{}, ev);
  EXPECT_EQ(body,
            "--B\r\nContent-Type: text/plain; charset=us-ascii\r\n\r\n"
            "--B\r\nContent-Type: application/octet-stream; name=\"a.zip\"\r\n"
            "Content-Transfer-Encoding: base64\r\n"
            "Content-Disposition: attachment; filename=\"a.zip\"\r\n\r\n"
            "Zm9v\r\n"
            "--B--\r\n");
  EXPECT_EQ(events, (std::vector<std::string>{"start " + m.Attachments[0], "end " + m.Attachments[0]}));
}

TEST_F(MailComposeFiles, BodyTextThenAttachmentsInListOrder) {
  TPostMessage m = Sample();
  m.Body = {"hello", ".dot"};
  m.Attachments = {File("two.bin", ""), File("one.bin", "x")};
  const std::string body = ComposeBody(m, "B", "us-ascii", TNMUUProcessor{});
  const std::size_t text = body.find("\r\n\r\nhello\r\n..dot\r\n--B\r\n");
  const std::size_t two = body.find("filename=\"two.bin\"\r\n\r\n--B\r\n");  // empty file: no line
  const std::size_t one = body.find("filename=\"one.bin\"\r\n\r\neA==\r\n--B--\r\n");
  EXPECT_NE(text, std::string::npos);
  EXPECT_NE(two, std::string::npos);
  EXPECT_NE(one, std::string::npos);
  EXPECT_LT(two, one);
}

TEST_F(MailComposeFiles, WithoutAttachmentsOnlyTheText) {
  TPostMessage m = Sample();
  m.Body = {"hello"};
  EXPECT_EQ(ComposeBody(m, "", "us-ascii", TNMUUProcessor{}), "hello\r\n");
}

TEST_F(MailComposeFiles, QuoteInAFileNameStaysInsideTheParameter) {
  TPostMessage m = Sample();
  m.Attachments = {File("say \"hi\".txt", "x")};
  const std::string body = ComposeBody(m, "B", "us-ascii", TNMUUProcessor{});
  EXPECT_NE(body.find("filename=\"say _hi_.txt\"\r\n"), std::string::npos);
}

TEST_F(MailComposeFiles, UuencodedAttachmentSaysSoInItsPart) {
  TPostMessage m = Sample();
  m.Attachments = {File("cat.txt", "Cat")};
  TNMUUProcessor uu;
  uu.EncodeType = uuCode;
  const std::string body = ComposeBody(m, "B", "us-ascii", uu);
  EXPECT_NE(body.find("Content-Transfer-Encoding: x-uuencode\r\n"
                      "Content-Disposition: attachment; filename=\"cat.txt\"\r\n\r\n"
                      "begin 644 cat.txt\r\n#0V%T\r\n`\r\nend\r\n--B--\r\n"),
            std::string::npos)
      << body;
}

TEST_F(MailComposeFiles, UnopenableFileStopsBeforeItsEvents) {
  TPostMessage m = Sample();
  const std::string missing = tmp_.path().toStdString() + "/none.zip";
  m.Attachments = {File("ok.bin", "x"), missing};
  std::vector<std::string> events;
  ComposeEvents ev;
  ev.encodeStart = [&](const std::string& p) { events.push_back(p); };
  try {
    ComposeBody(m, "B", "us-ascii", TNMUUProcessor{}, ev);
    FAIL();
  } catch (const EFileOpenError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot open file \"" + missing + "\". No such file or directory");
  }
  EXPECT_EQ(events, std::vector<std::string>{m.Attachments[0]});
  // A folder opens but cannot be read.
  m.Attachments = {tmp_.path().toStdString()};
  EXPECT_THROW(ComposeBody(m, "B", "us-ascii", TNMUUProcessor{}), EFileOpenError);
}

TEST(MailCompose, AttachmentNameIsTheFileName) {
  EXPECT_EQ(AttachmentName("/home/ann/archives/backup.zip"), "backup.zip");
  EXPECT_EQ(AttachmentName("backup.zip"), "backup.zip");
}

}  // namespace
}  // namespace arkelin::mail
