// TNetIOHandlerStack: the I/O handler of a TCP client connection.
//
// Owns one socket (TNetSocketHandle), the input buffer (TNetBuffer) and, once
// StartTLS ran, the TLS layer over the socket; converts text to and from
// bytes, reads lines, writes text, bytes and streams. Everything blocks the
// calling thread, but every wait is a poll in slices of
// platform::kCancelPollMs that raises platform::ECancelled when the run was
// cancelled, reads wait at most ReadTimeout and sends at most WriteTimeout. Owned by a
// TNetTCPConnection (which copies its settings in before Open); single-threaded.
//
// Flow: Open -> ConnectClient -> ReadLine / WriteLine / WriteStream ... -> Close.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "ftp/net_buffer.h"
#include "ftp/net_encoding.h"
#include "ftp/net_socket_handle.h"
#include "ftp/net_stream.h"
#include "ftp/net_tls.h"

namespace ftp {

enum class TNetIPVersion { Net_IPv4, Net_IPv6 };
enum class TNetReuseSocket { rsOSDependent, rsTrue, rsFalse };
enum class TNetMaxLineAction { maException, maSplit };
enum class TNetStatus {
  hsResolving,
  hsConnecting,
  hsConnected,
  hsDisconnecting,
  hsDisconnected,
  ftpTransfer,
  ftpReady,
  ftpAborted
};
using TNetStatusEvent = std::function<void(TNetStatus, const std::string&)>;

class TNetIOHandlerStack {
 public:
  static constexpr int kDefaultBufferSize = 32768;
  static constexpr int kDefaultMaxLineLength = 16384;
  static constexpr int kMaxAttempts = 2147483647;

  TNetIOHandlerStack() = default;
  TNetIOHandlerStack(const TNetIOHandlerStack&) = delete;
  TNetIOHandlerStack& operator=(const TNetIOHandlerStack&) = delete;
  ~TNetIOHandlerStack() { Close(); }

  // Settings (copied from the connection at Connect).
  std::string Host;
  std::uint16_t Port = 0;
  int ConnectTimeout = 0;
  int ReadTimeout = -1;  // ms per wait for data; 0 and -1: forever
  // ms a send may wait for room in the socket's buffer (a peer that stopped
  // reading); 0 and -1: forever.
  int WriteTimeout = -1;
  TNetIPVersion IPVersion = TNetIPVersion::Net_IPv4;
  std::string BoundIP;
  std::uint16_t BoundPort = 0;
  TNetReuseSocket ReuseSocket = TNetReuseSocket::rsOSDependent;
  bool UseNagle = true;
  int RecvBufferSize = kDefaultBufferSize;
  int SendBufferSize = kDefaultBufferSize;
  int MaxLineLength = kDefaultMaxLineLength;
  TNetMaxLineAction MaxLineAction = TNetMaxLineAction::maException;
  bool LargeStream = false;
  // Byte encoding of text on the wire; the program text is always
  // Windows-1254.
  TNetTextEncoding DefStringEncoding = TNetTextEncoding::ASCII;
  TNetStatusEvent OnStatus;
  // Bytes handed to the socket by each send.
  std::function<void(std::int64_t)> OnWork;

  // Clears the input buffer and the closed flag, marks the handler opened and
  // forgets any socket.
  void Open();
  // Socket, options, bind, host resolution, connect, addresses.
  void ConnectClient();
  // Shuts down and closes the socket; the handler is no longer opened. With
  // TLS no close_notify is sent (FinishTLS does that).
  void Close();
  // Closes with a reset (no FIN, no close_notify): the peer sees a broken
  // connection, never a complete one.
  void Abort();
  bool Opened() const { return opened_; }
  // "host:port" of the peer, for messages.
  std::string Server() const;

  // Switches the connected socket to TLS (handshake, each wait up to
  // ReadTimeout); resume: a session to resume, or nullptr.
  void StartTLS(const TNetTLSContext& ctx, SSL_SESSION* resume);
  bool TLSActive() const { return tls_ != nullptr; }
  NetTLSSession TLSSession() const;
  bool TLSSessionReused() const;
  // Sends close_notify (waiting up to WriteTimeout) and reads until the
  // peer's (up to ReadTimeout): how a TLS peer learns that the data ended on
  // purpose.
  void FinishTLS();

  // Unread bytes remain, or the socket is open and the peer has not closed
  // it. Polls the socket without waiting first.
  bool Connected();
  // Adds received bytes to the input buffer; see the .cpp for the rules.
  // timeout -1 means ReadTimeout.
  int FillInputBuffer(bool raise_if_closed, int timeout, bool raise_on_timeout);
  bool WaitForData(int timeout_ms);
  void CheckDisconnected(bool raise, bool ignore_buffer);

  // A line up to the terminator (default LF; a CR before the LF is dropped).
  // An empty text when the wait timed out (ReadLnTimedout() is then true).
  std::string ReadLine(std::string_view terminator = "\n", int timeout = -1, int max_length = -1);
  // The next line that is not empty after trimming, trimmed.
  std::string ReadNonEmptyLine(int max_attempts = kMaxAttempts);
  bool ReadLnTimedout() const { return line_timed_out_; }

  // Text + CR LF in the byte encoding.
  void WriteLine(std::string_view text);
  void Write(std::string_view text);
  void WriteBytes(const void* data, std::size_t len);
  // size < 0: from the position to the end; 0: the whole stream from byte 0;
  // > 0: that many bytes from the position.
  void WriteStream(TStream& stream, std::int64_t size = 0, bool write_byte_count = false);

  bool InputBufferIsEmpty() const { return input_.Empty(); }
  void ClearInputBuffer() { input_.Clear(); }
  TNetBuffer& InputBuffer() { return input_; }
  TNetSocketHandle& Binding() { return binding_; }
  bool ClosedGracefully() const { return closed_gracefully_; }

 private:
  void Status(TNetStatus s, const std::string& text) {
    if (OnStatus) OnStatus(s, text);
  }
  // Waits up to timeout_ms (< 0: forever) for the socket; false on timeout.
  bool WaitSocket(TNetTLSWant want, int timeout_ms);
  // One receive of at most len bytes, waiting up to timeout_ms (< 0:
  // forever): the bytes received, 0 once the peer closed, -1 on timeout.
  long ReceiveSome(void* buf, std::size_t len, int timeout_ms);
  // One send, waiting up to WriteTimeout for room; ENetWriteTimeout after.
  std::size_t SendSome(const void* buf, std::size_t len);

  TNetSocketHandle binding_;
  TNetBuffer input_;
  bool opened_ = false;
  bool closed_gracefully_ = false;
  bool line_timed_out_ = false;
  std::string receive_buf_;
  std::unique_ptr<TNetTLSStream> tls_;
};

}  // namespace ftp
