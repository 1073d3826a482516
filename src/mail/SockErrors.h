// The numbered socket error texts the user sees, and how the errors that Qt
// Network reports map onto those numbers. The table holds the 50 classic
// socket error numbers with their customary descriptions (10061 "Connection
// refused", 11001 "Host not found", ...), so that a message reads
// "10061:Connection refused" whatever the platform beneath.
#pragma once

#include <string>

namespace arkelin::mail {

// The description of a socket error number; empty for numbers outside the
// table.
std::string SocketErrorDescription(int number);

// number + ":" + description, or "Unknown Error No. " + number.
std::string SocketErrorMessage(int number);

// The table number for a QAbstractSocket::SocketError value (passed as an
// int so that callers need no Qt header); 0 when none fits.
int SocketErrorNumberForQt(int qtSocketError);

}  // namespace arkelin::mail
