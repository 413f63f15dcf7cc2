// Exception classes of the TCP client connection and the FTP client.
//
// Every failure of the network layer is an ENetException (what() is the
// message shown to the operator, 8-bit Windows-1254 text). Socket call
// failures carry the socket error number in the numbering the program's users
// know ("Socket Error # 10061\r\nConnection refused."); FTP reply errors carry
// the server's numeric reply code. Thrown by everything in namespace ftp.
#pragma once

#include <stdexcept>
#include <string>

#include "platform/convert_error.h"

namespace ftp {

class ENetException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Socket error numbers the code tests by name.
inline constexpr int kSocketNotASocket = 10038;    // "Socket operation on non-socket."
inline constexpr int kSocketAddrNotAvail = 10049;  // "Cannot assign requested address."
inline constexpr int kSocketConnAborted = 10053;   // "Software caused connection abort."
inline constexpr int kSocketConnReset = 10054;     // "Connection reset by peer."
inline constexpr int kSocketConnRefused = 10061;   // "Connection refused."
inline constexpr int kSocketHostNotFound = 11001;  // "Host not found."

// "Socket Error # %d\r\n%s": the error number and its text.
class ENetSocketError : public ENetException {
 public:
  explicit ENetSocketError(int error_code);
  int LastError() const { return last_error_; }

 protected:
  ENetSocketError(int error_code, const std::string& message)
      : ENetException(message), last_error_(error_code) {}

 private:
  int last_error_;
};
// Error 10038: the operation was tried on something that is not a socket.
class ENetNotASocket : public ENetSocketError {
 public:
  ENetNotASocket() : ENetSocketError(kSocketNotASocket) {}
};

// Throws the ENetSocketError subclass for the number.
[[noreturn]] void raise_socket_error(int error_code);

// The table's text of a socket error number ("Connection refused."), or an
// empty text for numbers without one.
std::string socket_error_text(int error_code);

#define YEDEK_NET_EXCEPTION(Name, Base, Message)     \
  class Name : public Base {                         \
   public:                                           \
    Name() : Base(Message) {}                        \
                                                     \
   protected:                                        \
    explicit Name(const std::string& m) : Base(m) {} \
  };

YEDEK_NET_EXCEPTION(ENetConnClosedGracefully, ENetException, "Connection Closed Gracefully.")
YEDEK_NET_EXCEPTION(ENetReadLnMaxLineLengthExceeded, ENetException, "Max line length exceeded.")
YEDEK_NET_EXCEPTION(ENetReadLnWaitMaxAttemptsExceeded, ENetException,
                    "Max line read attempts exceeded.")
YEDEK_NET_EXCEPTION(ENetNotConnected, ENetException, "Not Connected")
YEDEK_NET_EXCEPTION(ENetAlreadyConnected, ENetException, "Already connected.")
YEDEK_NET_EXCEPTION(ENetHostRequired, ENetException, "A Host is required")
YEDEK_NET_EXCEPTION(ENetPortRequired, ENetException, "A Port is required")
YEDEK_NET_EXCEPTION(ENetCouldNotBindSocket, ENetException,
                    "Could not bind socket. Address and port are already in use.")
YEDEK_NET_EXCEPTION(ENetConnectException, ENetException, "")
YEDEK_NET_EXCEPTION(ENetNoDataToRead, ENetException, "No data to read.")
YEDEK_NET_EXCEPTION(ENetTooMuchDataInBuffer, ENetException, "Too much data in buffer.")
YEDEK_NET_EXCEPTION(ENetIOHandlerRequiresLargeStream, ENetException,
                    "Set LargeStream to True to send streams greater than 2GB")
YEDEK_NET_EXCEPTION(ENetFTPUploadFileNameCanNotBeEmpty, ENetException,
                    "The destination filename can not be empty")

#undef YEDEK_NET_EXCEPTION

// A bounded connect ran out of time; with a server ("host:port") the message
// names it: "Connect timed out: 10.0.0.5:21 did not answer.".
class ENetConnectTimeout : public ENetConnectException {
 public:
  ENetConnectTimeout() : ENetConnectException("Connect timed out.") {}
  explicit ENetConnectTimeout(const std::string& server)
      : ENetConnectException("Connect timed out: " + server + " did not answer.") {}
};

// No data arrived within the read timeout. With a server ("host:port") the
// message names it: "Read timed out waiting for 10.0.0.5:21.".
class ENetReadTimeout : public ENetException {
 public:
  ENetReadTimeout() : ENetException("Read timed out.") {}
  explicit ENetReadTimeout(const std::string& server)
      : ENetException("Read timed out waiting for " + server + "."), server_(server) {}
  const std::string& Server() const { return server_; }

 private:
  std::string server_;
};

// The peer accepted no data within the write timeout (a server that stopped
// reading): "Write timed out: 10.0.0.5:50000 stopped accepting data.".
class ENetWriteTimeout : public ENetException {
 public:
  explicit ENetWriteTimeout(const std::string& server)
      : ENetException("Write timed out: " + server + " stopped accepting data."), server_(server) {}
  const std::string& Server() const { return server_; }

 private:
  std::string server_;
};

// The TLS layer failed (handshake, certificate, record error): "TLS error
// with 10.0.0.5:21: <reason>".
class ENetTLSError : public ENetException {
 public:
  ENetTLSError(const std::string& server, const std::string& reason)
      : ENetException("TLS error with " + server + ": " + reason) {}
};

// A server reply outside the allowed codes. The message is the reply's text
// lines, each followed by CR LF.
class ENetReplyRFCError : public ENetException {
 public:
  ENetReplyRFCError(int error_code, const std::string& message)
      : ENetException(message), error_code_(error_code) {}
  int ErrorCode() const { return error_code_; }

 private:
  int error_code_;
};
// Reply 421: the server closes the control connection.
class ENetFTPServiceNotAvailable : public ENetReplyRFCError {
 public:
  using ENetReplyRFCError::ENetReplyRFCError;
};

// A text that is not a decimal integer.
using platform::EConvertError;

}  // namespace ftp
