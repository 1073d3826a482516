// Base64 attachment lines, checked against Qt's decoder.
#include "mail/UUProcessor.h"

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

TEST(TNMUUProcessor, EncodeAppendsAndRefusesUuencode) {
  TNMUUProcessor p;
  std::string out = "head\r\n";
  p.Encode("foo", out);
  EXPECT_EQ(out, "head\r\nZm9v\r\n");
  p.EncodeType = uuCode;
  try {
    p.Encode("foo", out);
    FAIL();
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("not available yet"), std::string::npos);
  }
}

}  // namespace
}  // namespace arkelin::mail
