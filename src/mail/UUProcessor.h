// TNMUUProcessor turns attachment bytes into the text lines of a mail part.
// Base64 (the MIME encoding of RFC 2045) is read in blocks of 45 bytes, each
// giving one line of 60 characters ended by CR LF; the last, shorter block
// gives a shorter line padded with "=" to a multiple of four characters, and
// no bytes give no line at all. The classic uuencode form (uuCode) writes a
// "begin 644 NAME" line, lines of up to 45 bytes each led by its length
// character, a "`" line and "end"; a line that would begin with "." gets a
// second one, as the mail transfer needs.
#pragma once

#include <string>
#include <string_view>

namespace arkelin::mail {

enum TEncodeType { uuMime, uuCode };

class TNMUUProcessor {
 public:
  // Bytes per encoded line: 45 bytes make 60 characters.
  static constexpr std::size_t kBlockBytes = 45;

  TEncodeType EncodeType = uuMime;

  // Appends the encoded lines of data to out; name is the file name that
  // the uuencode "begin" line carries.
  void Encode(std::string_view data, std::string& out, std::string_view name = {}) const;
};

// The base64 lines of data, each ended by CR LF.
std::string Base64Lines(std::string_view data);

// data in base64 as one piece, without line breaks (the arguments of the
// SMTP login commands).
std::string Base64(std::string_view data);

// The uuencoded form of data as a file called name, each line ended by CR LF.
std::string UuencodeLines(std::string_view data, std::string_view name);

}  // namespace arkelin::mail
