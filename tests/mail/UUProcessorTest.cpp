// Attachment lines: base64 checked against Qt's decoder, uuencode against
// Python's encoder.
#include "mail/UUProcessor.h"
#include "ShellRun.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <random>
#include <sstream>

namespace arkelin::mail {
namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t eol = text.find("\r\n", pos);
    EXPECT_NE(eol, std::string::npos) << "unterminated line";
    if (eol == std::string::npos) break;
    lines.push_back(text.substr(pos, eol - pos));
    pos = eol + 2;
  }
  return lines;
}

TEST(TNMUUProcessor, FortySixBytesGiveAFullLineAndAPaddedOne) {
  const std::string data(46, 'A');
  const auto lines = Lines(Base64Lines(data));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].size(), 60u);
  EXPECT_EQ(lines[1], "QQ==");
}

TEST(TNMUUProcessor, EmptyDataGivesNoLine) { EXPECT_EQ(Base64Lines(""), ""); }

TEST(TNMUUProcessor, KnownVectors) {
  EXPECT_EQ(Base64Lines("f"), "Zg==\r\n");
  EXPECT_EQ(Base64Lines("fo"), "Zm8=\r\n");
  EXPECT_EQ(Base64Lines("foo"), "Zm9v\r\n");
  EXPECT_EQ(Base64Lines("foob"), "Zm9vYg==\r\n");
  EXPECT_EQ(Base64Lines(std::string("\xff\xfe\x00", 3)), "//4A\r\n");
}

TEST(TNMUUProcessor, EveryLengthRoundTripsInSixtyCharacterLines) {
  std::mt19937 rng(3);
  for (std::size_t n : {1u, 2u, 3u, 44u, 45u, 46u, 89u, 90u, 91u, 1000u, 4096u}) {
    std::string data(n, '\0');
    for (char& c : data) c = static_cast<char>(rng());
    const std::string text = Base64Lines(data);
    const auto lines = Lines(text);
    ASSERT_EQ(lines.size(), (n + 44) / 45) << n;
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) EXPECT_EQ(lines[i].size(), 60u) << n;
    EXPECT_EQ(lines.back().size() % 4, 0u) << n;
    std::string joined;
    for (const auto& l : lines) joined += l;
    const QByteArray decoded = QByteArray::fromBase64(QByteArray::fromStdString(joined));
    EXPECT_EQ(decoded.toStdString(), data) << n;
  }
}

TEST(TNMUUProcessor, EncodeAppendsInTheChosenForm) {
  TNMUUProcessor p;
  std::string out = "head\r\n";
  p.Encode("foo", out, "f.txt");
  EXPECT_EQ(out, "head\r\nZm9v\r\n");
  p.EncodeType = uuCode;
  out.clear();
  p.Encode("Cat", out, "cat.txt");
  EXPECT_EQ(out, "begin 644 cat.txt\r\n#0V%T\r\n`\r\nend\r\n");
}

// Python's binascii writes the same lines (with "`" for zero); a line whose
// length character is "." (14 bytes) is sent with a second one in front.
TEST(TNMUUProcessor, UuencodeLinesMatchPythonsEncoder) {
  std::mt19937 rng(5);
  std::string data(14 + 45 * 2 + 1, '\0');
  for (char& c : data) c = static_cast<char>(rng() & 0xFF);
  for (std::size_t len : {0u, 1u, 2u, 3u, 14u, 44u, 45u, 46u, 105u}) {
    SCOPED_TRACE(len);
    const std::string part = data.substr(0, len);
    std::string hex;
    for (unsigned char c : part) {
      char b[3];
      std::snprintf(b, sizeof b, "%02x", c);
      hex += b;
    }
    const std::string cmd =
        "/usr/bin/python3 -c \"import binascii,sys\nd=bytes.fromhex('" + hex +
        "')\nfor i in range(0,len(d),45):\n l=binascii.b2a_uu(d[i:i+45],backtick=True).rstrip(b'\\n')\n"
        " sys.stdout.buffer.write((b'.' if l[:1]==b'.' else b'')+l+b'\\r\\n')\"";
    const ShellRun python = RunShell(cmd);
    ASSERT_EQ(python.code, 0);
    EXPECT_EQ(UuencodeLines(part, "d.bin"), "begin 644 d.bin\r\n" + python.out + "`\r\nend\r\n");
  }
  EXPECT_EQ(UuencodeLines(data.substr(0, 14), "x").substr(13, 2), "..");  // after "begin 644 x\r\n"
}

}  // namespace
}  // namespace arkelin::mail
