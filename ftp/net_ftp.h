// TNetFTP: the FTP client component (control session, login, feature
// negotiation, passive-mode upload) on a TCP client connection.
//
// The program creates one client per upload, sets Host, Username, Password,
// Passive and TransferType, and frees it afterwards. Everything blocks the
// calling thread; reply waits last up to ReadTimeout (60 s) each, sends up to
// as long, and every wait can be cancelled (platform/cancel.h).
//
// Connect sequence: greeting, HOST, FEAT, (when FEAT lists "AUTH TLS": AUTH
// TLS and the TLS handshake), USER, PASS (ACCT), (with TLS: PBSZ 0, PROT P),
// FEAT again only when the server wanted a login first, CLNT, TYPE, SYST,
// SITE ZONE, TYPE. With TLS every data connection is TLS too and resumes the
// control connection's session.
//
// Flow: Connect -> ChangeWorkingDir -> Put -> (Rename | Delete) -> Disconnect.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ftp/ftp_reply.h"
#include "ftp/net_stream.h"
#include "ftp/net_tcp_client.h"
#include "ftp/net_tls.h"
#include "platform/cancel.h"

namespace ftp {

// Whether the client uses explicit TLS ("AUTH TLS") when the server offers it.
enum class TNetUseTLS { utNoTLSSupport, utUseExplicitTLS };

// The explicit-TLS settings between the TCP client and the FTP client.
class TNetExplicitTLSClient : public TNetTCPClientCustom {
 public:
  // utUseExplicitTLS (the default): TLS whenever FEAT lists "AUTH TLS".
  TNetUseTLS UseTLS() const { return use_tls_; }
  void SetUseTLS(TNetUseTLS v) { use_tls_ = v; }
  // The server's certificate must chain to TLSCAFile (the system's store when
  // empty) and name Host; on by default.
  bool TLSVerifyPeer() const { return tls_verify_peer_; }
  void SetTLSVerifyPeer(bool v) { tls_verify_peer_ = v; }
  const std::string& TLSCAFile() const { return tls_ca_file_; }
  void SetTLSCAFile(const std::string& v) { tls_ca_file_ = v; }

 protected:
  TNetUseTLS use_tls_ = TNetUseTLS::utUseExplicitTLS;
  bool tls_verify_peer_ = true;
  std::string tls_ca_file_;
};

enum class TNetFTPTransferType { ftASCII, ftBinary };

struct TNetFTPClientInfo {
  std::string ClientName;
  std::string ClientVersion;
  std::string PlatformDescription;
};

class TNetFTP : public TNetExplicitTLSClient {
 public:
  static constexpr const char* kDefaultClientId = "Vexo 10.6.2.0";

  TNetFTP();
  ~TNetFTP() override;

  // Connects, reads the greeting, logs in and negotiates.
  void Connect() override;
  // With notify_peer: QUIT, up to 100 ms for its reply, then close.
  using TNetTCPConnection::Disconnect;

  // Writes the command and reads its reply; returns the numeric code. An
  // empty allowed list accepts every code but 421.
  int SendCommand(const std::string& command, const std::vector<int>& allowed = {});
  int ReadReply(const std::vector<int>& allowed = {});
  int CheckReply(const std::vector<int>& allowed);

  // "CWD " + directory, allowed 200, 250, 257.
  void ChangeWorkingDir(const std::string& directory);
  // Stores the stream under dest_file (STOR, APPE with append, REST before
  // STOR when start_position >= 0). The stream stays the caller's. The data
  // connection goes to the control connection's peer (the address of the
  // PASV reply is ignored, its port used). On any failure the data
  // connection is reset, so the server never sees a cut-off file end
  // cleanly; the first error propagates.
  void Put(TStream& source, const std::string& dest_file, bool append = false,
           std::int64_t start_position = -1);
  // "RNFR " + from (allowed 350), then "RNTO " + to (allowed 250).
  void Rename(const std::string& from, const std::string& to);
  // "DELE " + name, allowed 250.
  void Delete(const std::string& name);

  // Whether the server accepted the last transfer command (answered 1xx)
  // and so may hold a file of that name, complete or not.
  bool TransferStarted() const { return transfer_started_; }

  // Whether the FEAT reply listed the feature (letter case ignored).
  bool IsExtSupported(const std::string& feature) const;

  const std::string& Username() const { return username_; }
  void SetUsername(const std::string& v) { username_ = v; }
  const std::string& Password() const { return password_; }
  void SetPassword(const std::string& v) { password_ = v; }
  const std::string& Account() const { return account_; }
  void SetAccount(const std::string& v) { account_ = v; }
  bool AutoIssueFEAT() const { return auto_issue_feat_; }
  void SetAutoIssueFEAT(bool v) { auto_issue_feat_ = v; }
  bool UseHOST() const { return use_host_; }
  void SetUseHOST(bool v) { use_host_ = v; }
  const std::string& ServerHOST() const { return server_host_; }
  void SetServerHOST(const std::string& v) { server_host_ = v; }
  // Sent with both TYPE commands of Connect; Put sends no TYPE.
  TNetFTPTransferType TransferType() const { return transfer_type_; }
  void SetTransferType(TNetFTPTransferType v) { transfer_type_ = v; }
  bool Passive() const { return passive_; }
  void SetPassive(bool v) { passive_ = v; }
  // Read and write timeout of data connections in ms; 0 means the control
  // connection's ReadTimeout.
  int TransferTimeout() const { return transfer_timeout_; }
  void SetTransferTimeout(int v) { transfer_timeout_ = v; }
  TNetFTPClientInfo& ClientInfo() { return client_info_; }

  const TNetReplyFTP& LastCmdResult() const { return last_reply_; }
  const TNetReplyFTP& GreetingReply() const { return greeting_; }
  const TNetReplyFTP& LoginMsg() const { return login_reply_; }
  const std::string& ServerDescription() const { return server_description_; }
  const std::string& SystemDescription() const { return system_description_; }
  const platform::LineList& FeatureList() const { return feature_list_; }
  // The control connection is TLS (and so are the data connections).
  bool TLSActive() const { return io_ && io_->TLSActive(); }
  // The last data connection resumed the control connection's TLS session.
  bool DataTLSSessionReused() const { return data_tls_reused_; }

  // Upload progress of Put: bytes sent on the data connection so far and the
  // bytes Put sends in all. Called with (0, total) once the server accepted
  // the transfer, then whenever another kWorkStep bytes went out, and with
  // (total, total) once every byte was handed to the data connection (before
  // the server's final reply). May throw (platform::ECancelled, say): Put
  // then fails and cleans up as on any error.
  static constexpr std::uint64_t kWorkStep = 256 * 1024;
  std::function<void(std::uint64_t sent, std::uint64_t total)> OnWork;

  // Optional notifications (nothing in the program assigns them).
  std::function<void(const std::string&)> OnBannerWarning;
  std::function<void(const std::string&)> OnBannerBeforeLogin;
  std::function<void(const std::string&)> OnBannerAfterLogin;
  std::function<void()> OnAfterClientLogin;
  std::function<void(TStream&)> OnBeforePut;
  std::function<void()> OnAfterPut;
  std::function<void(TNetTCPClient&)> OnDataChannelCreate;
  std::function<void(TNetTCPClient&)> OnDataChannelDestroy;

 protected:
  void DisconnectNotifyPeer() override;

 private:
  // One connect attempt; true when the server dropped the connection at HOST
  // and the attempt must be repeated without HOST.
  bool ConnectOnce();
  void Login();
  // FEAT; false when the server wants a login before it answers.
  bool RequestFeatures();
  // The words of the FEAT line of feature (";" or blank separated, upper
  // case), empty when the feature is not listed.
  std::vector<std::string> FeatureWords(const std::string& feature) const;
  void StartControlTLS();
  void NegotiateFeatures();
  void PassiveTransfer(const std::string& command, TStream& source, bool from_beginning,
                       bool restart);
  // After a failed transfer: reads the server's answer to the command (a
  // refusal takes the place of a network error, whose cause the server knows
  // better; our own timeouts and a cancel stay) or closes a control connection that
  // is out of step. With verdict_overdue (the wait for it already timed out)
  // ABOR goes out at once.
  void ReadVerdictAfterFailure(bool cancelled, bool server_may_explain,
                               bool verdict_overdue = false);
  // Reads the lines of one reply into last_reply_ without checking its code.
  void ReadReplyLines();
  std::string ClientIdentification() const;
  std::string TypeCommand() const;

  std::string username_, password_, account_, server_host_;
  bool auto_issue_feat_ = true;
  bool use_host_ = true;
  TNetFTPTransferType transfer_type_ = TNetFTPTransferType::ftASCII;
  bool passive_ = false;
  int transfer_timeout_ = 0;
  std::unique_ptr<TNetTLSContext> tls_ctx_;
  bool data_protected_ = false;
  bool data_tls_reused_ = false;
  bool transfer_started_ = false;
  TNetFTPClientInfo client_info_;

  TNetReplyFTP last_reply_, greeting_, login_reply_;
  std::string server_description_;
  std::string system_description_ = "Unknown";
  platform::LineList feature_list_;
};

}  // namespace ftp
