// The numbered socket error texts and the mapping from Qt's errors.
#include "mail/SockErrors.h"

#include <gtest/gtest.h>

#include <QAbstractSocket>

namespace arkelin::mail {
namespace {

TEST(SockErrors, TableHoldsTheFiftyNumbers) {
  int count = 0;
  for (int n = 10000; n < 12000; ++n)
    if (!SocketErrorDescription(n).empty()) ++count;
  EXPECT_EQ(count, 50);
  for (int n : {10004, 10009, 10013, 10014, 10022, 10024, 10091, 10092, 10093, 11001, 11002, 11003, 11004})
    EXPECT_FALSE(SocketErrorDescription(n).empty()) << n;
  for (int n = 10035; n <= 10071; ++n) EXPECT_FALSE(SocketErrorDescription(n).empty()) << n;
  EXPECT_TRUE(SocketErrorDescription(10072).empty());
  EXPECT_TRUE(SocketErrorDescription(10034).empty());
}

TEST(SockErrors, MessagesCarryNumberAndText) {
  EXPECT_EQ(SocketErrorMessage(10061), "10061:Connection refused");
  EXPECT_EQ(SocketErrorMessage(10060), "10060:Connection timed out");
  EXPECT_EQ(SocketErrorMessage(10065), "10065:No route to Host");
  EXPECT_EQ(SocketErrorMessage(11001), "11001:Host not found");
  EXPECT_EQ(SocketErrorMessage(10090), "Unknown Error No. 10090");
  EXPECT_EQ(SocketErrorMessage(0), "Unknown Error No. 0");
}

TEST(SockErrors, QtErrorsMapOntoTheTable) {
  EXPECT_EQ(SocketErrorNumberForQt(QAbstractSocket::ConnectionRefusedError), 10061);
  EXPECT_EQ(SocketErrorNumberForQt(QAbstractSocket::HostNotFoundError), 11001);
  EXPECT_EQ(SocketErrorNumberForQt(QAbstractSocket::SocketTimeoutError), 10060);
  EXPECT_EQ(SocketErrorNumberForQt(QAbstractSocket::RemoteHostClosedError), 10054);
  EXPECT_EQ(SocketErrorNumberForQt(QAbstractSocket::UnknownSocketError), 0);
  // Every number given is one the table can word.
  for (int e = 0; e <= QAbstractSocket::OperationError; ++e) {
    const int n = SocketErrorNumberForQt(e);
    if (n != 0) {
      EXPECT_FALSE(SocketErrorDescription(n).empty()) << e;
    }
  }
}

}  // namespace
}  // namespace arkelin::mail
