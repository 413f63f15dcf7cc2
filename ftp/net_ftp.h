// TNetFTP: the FTP client component (control session, login, feature
// negotiation, passive-mode upload) on a TCP client connection.
//
// The program creates one client per upload, sets Host, Username, Password,
// Passive and TransferType, and frees it afterwards. Everything blocks the
// calling thread; reply waits last up to ReadTimeout (60 s) each.
//
// Flow: Connect -> ChangeWorkingDir -> Put -> Disconnect.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ftp/ftp_reply.h"
#include "ftp/net_stream.h"
#include "ftp/net_tcp_client.h"

namespace ftp {

// The explicit-TLS layer between the TCP client and the FTP client. This
// program never speaks TLS, so it adds nothing.
class TNetExplicitTLSClient : public TNetTCPClientCustom {};

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
  // STOR when start_position >= 0). The stream stays the caller's.
  void Put(TStream& source, const std::string& dest_file, bool append = false,
           std::int64_t start_position = -1);

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
  bool PassiveUseControlHost() const { return passive_use_control_host_; }
  void SetPassiveUseControlHost(bool v) { passive_use_control_host_ = v; }
  // Read timeout of data connections in ms; 0 waits forever.
  int TransferTimeout() const { return transfer_timeout_; }
  void SetTransferTimeout(int v) { transfer_timeout_ = v; }
  TNetFTPClientInfo& ClientInfo() { return client_info_; }

  const TNetReplyFTP& LastCmdResult() const { return last_reply_; }
  const TNetReplyFTP& GreetingReply() const { return greeting_; }
  const TNetReplyFTP& LoginMsg() const { return login_reply_; }
  const std::string& ServerDescription() const { return server_description_; }
  const std::string& SystemDescription() const { return system_description_; }
  const platform::LineList& FeatureList() const { return feature_list_; }

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
  void NegotiateFeatures();
  void PassiveTransfer(const std::string& command, TStream& source, bool from_beginning,
                       bool restart);
  // Reads the lines of one reply into last_reply_ without checking its code.
  void ReadReplyLines();
  std::string ClientIdentification() const;
  std::string TypeCommand() const;

  std::string username_, password_, account_, server_host_;
  bool auto_issue_feat_ = true;
  bool use_host_ = true;
  TNetFTPTransferType transfer_type_ = TNetFTPTransferType::ftASCII;
  bool passive_ = false;
  bool passive_use_control_host_ = false;
  int transfer_timeout_ = 0;
  TNetFTPClientInfo client_info_;

  TNetReplyFTP last_reply_, greeting_, login_reply_;
  std::string server_description_;
  std::string system_description_ = "Unknown";
  platform::LineList feature_list_;
};

}  // namespace ftp
