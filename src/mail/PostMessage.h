// TPostMessage, one mail as the caller fills it in before SendMail: sender,
// recipients, subject, body lines and the files to attach (paths on disk).
// Plain data; the SMTP client reads it and, after a successful send, may
// empty the recipient and attachment lists.
#pragma once

#include <string>
#include <vector>

namespace arkelin::mail {

// The content type of a mail without attachments.
enum TSubType { mtPlain, mtEnriched, mtSgml, mtTabSeperated, mtHtml };

struct TPostMessage {
  std::string FromAddress;
  std::string FromName;
  std::string Subject;
  std::string LocalProgram;  // program identification for the X-Mailer line
  std::string Date;
  std::string ReplyTo;
  std::vector<std::string> ToAddress;
  std::vector<std::string> ToCarbonCopy;
  std::vector<std::string> ToBlindCarbonCopy;
  std::vector<std::string> Body;
  std::vector<std::string> Attachments;
};

}  // namespace arkelin::mail
