// TNMUUProcessor turns attachment bytes into the text lines of a mail part.
// Base64 (the MIME encoding of RFC 2045) is read in blocks of 45 bytes, each
// giving one line of 60 characters ended by CR LF; the last, shorter block
// gives a shorter line padded with "=" to a multiple of four characters, and
// no bytes give no line at all. The classic uuencode form is not written.
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

  // Appends the encoded lines of data to out. Throws std::runtime_error for
  // uuCode, which is not available yet.
  void Encode(std::string_view data, std::string& out) const;
};

// The base64 lines of data, each ended by CR LF.
std::string Base64Lines(std::string_view data);

}  // namespace arkelin::mail
