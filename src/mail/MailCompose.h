// Composing a mail in memory: the header lines, the boundary between parts,
// the body text lines with their leading dots doubled for the DATA phase,
// and the multipart body with the attachments in base64. The SMTP client
// calls these before it sends its first command, so a file that cannot be
// read stops the mail before anything reaches the server. The MIME layout
// follows RFC 2045/2046 in its simplest form: one text/plain part followed by
// one application/octet-stream part per file. Nothing here touches a socket.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "mail/ExStringList.h"
#include "mail/PostMessage.h"
#include "mail/UUProcessor.h"

namespace arkelin::mail {

// An attachment that cannot be opened or read; the text is the one the
// user sees ("Cannot open file \"/x/y.zip\". No such file or directory").
class EFileOpenError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The letters of the part boundaries. The generator is the linear
// congruential one the program has always used (seed * 134775813 + 1 modulo
// 2^32, the draw being the top 32 bits of range * seed), started at 0 when
// the program starts and never reseeded, so every run draws the same
// boundaries: "aavfgq" for the first mail, "hejkcl" for the second.
class TBoundarySource {
 public:
  explicit TBoundarySource(std::uint32_t seed = 0) : seed_(seed) {}
  // A number from 0 to range - 1.
  int Next(int range);
  // "====================54535" + six letters from "a" to "y" + "====".
  std::string NextBoundary();
  std::uint32_t Seed() const { return seed_; }
  // The one generator of the process, used by every SMTP client.
  static TBoundarySource& ForProcess();

 private:
  std::uint32_t seed_;
};

// Text for one header line or command argument: CR and LF become blanks, so
// a subject or an address cannot start a header line or command of its own.
std::string OneLine(std::string_view text);

// The header lines in the order they are sent. boundary is empty for a mail
// without attachments. BCC recipients appear in no line.
TExStringList BuildHeader(const TPostMessage& msg, const std::string& boundary, TSubType subType,
                          const std::string& charset);

// The body text: every line followed by CR LF, with one more "." in front of
// a line starting with ".". A body entry holding line breaks is split at them
// first, so no line of it can end the DATA phase early.
std::string BodyTextLines(const std::vector<std::string>& body);

// The file name of an attachment path, as it appears in the part header.
std::string AttachmentName(const std::string& path);

// The whole bytes of a file. Throws EFileOpenError. keepAlive, when set,
// runs after every few megabytes read.
std::string ReadAttachment(const std::string& path, const std::function<void()>& keepAlive = {});

struct ComposeEvents {
  std::function<void(const std::string& path)> encodeStart;
  std::function<void(const std::string& path)> encodeEnd;
  // Runs between slices of a large attachment while it is read and encoded.
  std::function<void()> keepAlive;
};

// The message body. With attachments (boundary not empty): the text part,
// each attachment in list order, then the closing boundary line; without:
// the body text lines only. Each file is opened before encodeStart fires for
// it. Throws EFileOpenError, or what the encoder throws.
std::string ComposeBody(const TPostMessage& msg, const std::string& boundary, const std::string& charset,
                        const TNMUUProcessor& encoder, const ComposeEvents& events = {});

}  // namespace arkelin::mail
