// Packet layer: framing, joining, sequence check, ERR packets.
#include "mysql/my_sql_net.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "mysql/my_error.h"
#include "mysql/wire.h"

namespace mysql {

namespace {
constexpr std::size_t kInitialCapacity = 8192;
// A claimed length is trusted only as far as the bytes arrive: the buffer
// grows by at most this much ahead of the data actually received.
constexpr std::size_t kGrowStep = 1 << 20;
}  // namespace

PacketHeader decode_packet_header(const unsigned char* p) { return {get_u24(p), p[3]}; }

void encode_packet_header(unsigned char* p, std::uint32_t length, std::uint8_t sequence) {
  p[0] = length & 0xFF;
  p[1] = (length >> 8) & 0xFF;
  p[2] = (length >> 16) & 0xFF;
  p[3] = sequence;
}

void TMySqlNet::BeginCommand(std::uint8_t command) {
  sequence_ = 0;
  out_.clear();
  out_.push_back(static_cast<char>(command));
}

void TMySqlNet::Flush(bool send_empty) {
  if (out_.empty() && !send_empty) return;
  std::size_t pos = 0;
  for (;;) {
    const std::size_t piece = std::min<std::size_t>(out_.size() - pos, kMaxPacketPiece);
    unsigned char header[kPacketHeaderSize];
    encode_packet_header(header, static_cast<std::uint32_t>(piece), sequence_++);
    std::string packet(reinterpret_cast<char*>(header), kPacketHeaderSize);
    packet.append(out_, pos, piece);
    if (!vio_ || !vio_->Write(packet.data(), packet.size())) {
      out_.clear();
      Lost();
    }
    pos += piece;
    if (piece < kMaxPacketPiece) break;  // a full piece is always followed by another
  }
  out_.clear();
}

void TMySqlNet::Lost() {
  std::string extra = vio_ ? vio_->LastErrorText() : std::string();
  if (vio_ && vio_->TimedOut()) {
    // Said as a timeout, not as a lost connection: the server is there but
    // silent, and the operator needs to know which one and when.
    if (!activity_.empty()) extra += " " + activity_;
    throw EMyError(CR_SERVER_LOST, extra);
  }
  throw make_error(CR_SERVER_LOST, extra);
}

void TMySqlNet::Reserve(std::size_t n) {
  if (n <= in_capacity_) return;
  std::size_t cap = std::max<std::size_t>({n, in_capacity_ * 2, kInitialCapacity});
  auto fresh = std::make_unique<char[]>(cap);
  if (in_size_) std::memcpy(fresh.get(), in_.get(), in_size_);
  in_ = std::move(fresh);
  in_capacity_ = cap;
}

void TMySqlNet::ReadExact(char* dst, std::size_t n) {
  if (!vio_ || vio_->Read(dst, n) != n) Lost();
}

std::string_view TMySqlNet::ReadPacket(bool raise_errors) {
  in_size_ = 0;
  Reserve(kInitialCapacity);
  for (;;) {
    unsigned char header[kPacketHeaderSize];
    ReadExact(reinterpret_cast<char*>(header), kPacketHeaderSize);
    PacketHeader h = decode_packet_header(header);
    if (h.sequence != sequence_) {
      char text[128];
      std::snprintf(text, sizeof text,
                    "ReceiveHeader: Net packets out of order: received[%d], expected[%d]",
                    h.sequence, sequence_);
      throw make_error(ER_NET_PACKETS_OUT_OF_ORDER, text);
    }
    ++sequence_;
    if (in_size_ + std::uint64_t{h.length} > max_logical_)
      throw make_error(CR_NET_PACKET_TOO_LARGE);
    std::size_t left = h.length;
    while (left > 0) {
      std::size_t step = std::min(left, kGrowStep);
      Reserve(in_size_ + step);
      ReadExact(in_.get() + in_size_, step);
      in_size_ += step;
      left -= step;
    }
    if (h.length < kMaxPacketPiece) break;
  }
  std::string_view payload(in_.get(), in_size_);
  if (raise_errors && !payload.empty() && static_cast<unsigned char>(payload[0]) == 0xFF)
    throw ServerError(payload);
  return payload;
}

EMyError TMySqlNet::ServerError(std::string_view payload) {
  int code = 0;
  std::string_view text;
  if (payload.size() >= 3) {
    code = get_u16(reinterpret_cast<const unsigned char*>(payload.data() + 1));
    text = payload.substr(3);
    text = text.substr(0, text.find('\0'));
  }
  return EMyError(code, error_message(code, client_error_text(code), text));
}

}  // namespace mysql
