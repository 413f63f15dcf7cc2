// TMySqlNet: the packet layer. Frames payloads into MySQL packets, checks
// sequence numbers, joins 16 MiB pieces into one logical packet and raises
// ERR packets as EMyError.
//
// Packet header (4 bytes): 3-byte little-endian payload length, 1-byte
// sequence number. A payload of 0xFFFFFF bytes continues in the next packet;
// the logical packet ends with the first shorter one (possibly empty).
//
// Flow: BeginCommand(cmd) / BeginPacket() -> append to Out() -> Flush();
// ReadPacket() -> view valid until the next ReadPacket. One thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "mysql/vio.h"

namespace mysql {

constexpr std::size_t kPacketHeaderSize = 4;
constexpr std::uint32_t kMaxPacketPiece = 0xFFFFFF;
// Largest logical packet accepted: what the login announces as its maximum.
constexpr std::uint64_t kMaxLogicalPacket = 0x40000000;

struct PacketHeader {
  std::uint32_t length;
  std::uint8_t sequence;
};
PacketHeader decode_packet_header(const unsigned char* p);
void encode_packet_header(unsigned char* p, std::uint32_t length, std::uint8_t sequence);

class TMySqlNet {
 public:
  TMySqlNet() = default;
  void SetVio(TVio* vio) { vio_ = vio; }
  TVio* Vio() const { return vio_; }

  std::uint8_t Sequence() const { return sequence_; }
  void SetSequence(std::uint8_t s) { sequence_ = s; }

  // Starts a command packet: sequence 0, payload = the command byte.
  void BeginCommand(std::uint8_t command);
  // Starts a packet continuing the current sequence.
  void BeginPacket() { out_.clear(); }
  std::string& Out() { return out_; }
  // Sends the buffered payload in pieces of at most 0xFFFFFF bytes (a
  // payload that ends exactly on a piece boundary gets an empty packet after
  // it). An empty buffer is sent as one empty packet only with send_empty.
  void Flush(bool send_empty = false);

  // Reads one logical packet. ERR packets (first byte 0xFF) are raised as
  // EMyError with the server's code and "\r\n" + text unless raise_errors is
  // false. Lost connection: 2013 (a wait that reached its bound: 2013 with
  // "Timed out after N s waiting for the MySQL server at host:port
  // <activity>"); out-of-order header: 1156; a logical
  // packet above kMaxLogicalPacket: 2020 (nothing allocated for it).
  std::string_view ReadPacket(bool raise_errors = true);

  // Parses an ERR packet payload into the error it describes.
  static class EMyError ServerError(std::string_view payload);

  // Raises the transport's failure: 2013, said as a timeout when the wait
  // reached its bound.
  [[noreturn]] void Lost();

  // Largest logical packet read (kMaxLogicalPacket unless lowered).
  void SetMaxLogicalPacket(std::uint64_t n) { max_logical_ = n; }

  // What the session is doing ("during login", "during query"): ends the
  // message of a wait that timed out.
  void SetActivity(std::string activity) { activity_ = std::move(activity); }

 private:
  void ReadExact(char* dst, std::size_t n);
  void Reserve(std::size_t n);

  TVio* vio_ = nullptr;
  std::uint8_t sequence_ = 0;
  std::string out_;
  // Read buffer: capacity kept between packets so rows cost no allocation.
  std::unique_ptr<char[]> in_;
  std::size_t in_capacity_ = 0;
  std::size_t in_size_ = 0;
  std::uint64_t max_logical_ = kMaxLogicalPacket;
  std::string activity_;
};

}  // namespace mysql
