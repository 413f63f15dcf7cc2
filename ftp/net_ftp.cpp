// The FTP control session (replies, connect sequence, login, features,
// QUIT) and the passive upload; see net_ftp.h.
#include "ftp/net_ftp.h"

#include <algorithm>
#include <exception>
#include <optional>

#include "ftp/ftp_pasv.h"
#include "ftp/net_exceptions.h"
#include "platform/ascii_case.h"
#include "platform/cancel.h"
#include "platform/text_trim.h"

namespace ftp {
namespace {

constexpr int kQuitWaitMs = 100;
constexpr int kDefaultReadTimeout = 60000;
constexpr std::uint16_t kDefaultPort = 21;
// Longest wait for the server's answer to a cancelled transfer.
constexpr int kVerdictAfterCancelMs = 5000;

bool contains(const std::vector<int>& codes, int code) {
  return std::find(codes.begin(), codes.end(), code) != codes.end();
}

std::string ltrim(const std::string& s) { return std::string(platform::trim_left(s)); }

std::string first_word(const std::string& line) {
  std::string t = ltrim(line);
  return t.substr(0, t.find(' '));
}

// Server descriptions whose servers are asked for their time zone.
bool wants_site_zone(const std::string& description) {
  static const char* const kNames[] = {"SERV-U ", "BPFTP SERVER ", "TITANFTP SERVER ",
                                       "TITAN FTP SERVER "};
  std::string d = platform::ascii_uppercase(description);
  for (const char* name : kNames)
    if (d.rfind(name, 0) == 0) return true;
  return false;
}

}  // namespace

TNetFTP::TNetFTP() {
  port_ = kDefaultPort;
  read_timeout_ = kDefaultReadTimeout;
}

TNetFTP::~TNetFTP() = default;

// ---- replies ----

void TNetFTP::ReadReplyLines() {
  if (!io_) throw ENetNotConnected();
  std::vector<std::string> lines;
  lines.push_back(io_->ReadNonEmptyLine());
  if (is_reply_first_of_many(lines[0])) {
    const std::string code = lines[0].substr(0, 3);
    for (;;) {
      lines.push_back(io_->ReadNonEmptyLine());
      if (is_reply_end_line(lines.back(), code)) break;
    }
  }
  last_reply_ = parse_reply(lines);
}

int TNetFTP::ReadReply(const std::vector<int>& allowed) {
  ReadReplyLines();
  return CheckReply(allowed);
}

int TNetFTP::CheckReply(const std::vector<int>& allowed) {
  const int code = last_reply_.NumericCode();
  if (code == 421 && !contains(allowed, 421)) {
    // The server is closing the control connection: close ours at once.
    Disconnect(false);
    if (io_) io_->ClearInputBuffer();
    throw ENetFTPServiceNotAvailable(code, last_reply_.JoinedText());
  }
  if (!allowed.empty() && !contains(allowed, code))
    throw ENetReplyRFCError(code, last_reply_.JoinedText());
  return code;
}

int TNetFTP::SendCommand(const std::string& command, const std::vector<int>& allowed) {
  if (!io_) throw ENetNotConnected();
  io_->WriteLine(command);
  return ReadReply(allowed);
}

// ---- connect sequence ----

void TNetFTP::Connect() {
  if (!ConnectOnce()) return;
  // The server dropped the connection when it received HOST: once more
  // without it. UseHOST is restored whatever the outcome.
  use_host_ = false;
  try {
    ConnectOnce();
  } catch (...) {
    use_host_ = true;
    throw;
  }
  use_host_ = true;
}

bool TNetFTP::ConnectOnce() {
  feature_list_.clear();
  data_protected_ = false;
  data_tls_reused_ = false;
  system_description_ = "Unknown";
  server_description_.clear();
  bool greeting_accepted = false;
  try {
    TNetTCPClientCustom::Connect();
    io_->DefStringEncoding = TNetTextEncoding::EightBit;

    ReadReplyLines();
    const int first = last_reply_.NumericCode();
    if (first >= 100 && first <= 199) {
      if (OnBannerWarning) OnBannerWarning(last_reply_.FormattedReply());
      ReadReply({220});
    } else {
      CheckReply({220});
    }
    greeting_accepted = true;
    greeting_ = last_reply_;
    server_description_ = greeting_.Text.empty() ? std::string() : greeting_.Text[0];

    if (use_host_) {
      bool dropped = false;
      try {
        int code = SendCommand("HOST " + (server_host_.empty() ? host_ : server_host_));
        if (code != 220) {
          // A server that rejects HOST may close right after its reply.
          io_->Connected();
          io_->CheckDisconnected(true, true);
        }
      } catch (const ENetConnClosedGracefully&) {
        dropped = true;
      } catch (const ENetSocketError& e) {
        if (e.LastError() != kSocketConnAborted && e.LastError() != kSocketConnReset) throw;
        dropped = true;
      }
      if (dropped) {
        Disconnect(false);
        if (io_) io_->ClearInputBuffer();
        return true;
      }
    }

    // FEAT comes before the login so that a server offering TLS gets the
    // credentials only inside it.
    bool features_known = !auto_issue_feat_ || RequestFeatures();
    const auto auth = FeatureWords("AUTH");
    if (use_tls_ == TNetUseTLS::utUseExplicitTLS &&
        std::find(auth.begin(), auth.end(), "TLS") != auth.end())
      StartControlTLS();

    if (OnBannerBeforeLogin) OnBannerBeforeLogin(greeting_.FormattedReply());
    Login();
    if (TLSActive()) {
      // No buffer size for TLS, and data connections protected too.
      SendCommand("PBSZ 0", {200});
      SendCommand("PROT P", {200});
      data_protected_ = true;
    }
    if (!features_known) RequestFeatures();
    if (auto_issue_feat_) NegotiateFeatures();
    SendCommand(TypeCommand(), {200});
    if (OnAfterClientLogin) OnAfterClientLogin();

    int syst = SendCommand("SYST");
    system_description_ = syst == 500 || last_reply_.Text.empty() ? "Unknown" : last_reply_.Text[0];

    const auto site = FeatureWords("SITE");
    if (wants_site_zone(server_description_) ||
        std::find(site.begin(), site.end(), "ZONE") != site.end())
      SendCommand("SITE ZONE");

    SendCommand(TypeCommand(), {200});
    Status(TNetStatus::ftpReady, "Connection established");
  } catch (...) {
    Disconnect(greeting_accepted);
    // Bytes left of a broken reply would keep IsConnected true and make the
    // next Connect fail with "Already connected.".
    if (io_) io_->ClearInputBuffer();
    throw;
  }
  return false;
}

std::string TNetFTP::TypeCommand() const {
  return transfer_type_ == TNetFTPTransferType::ftBinary ? "TYPE I" : "TYPE A";
}

void TNetFTP::Login() {
  int code = SendCommand("USER " + username_, {230, 232, 331});
  if (code == 331) {
    code = SendCommand("PASS " + password_, {230, 332});
    const bool asks_account =
        last_reply_.JoinedText().find("ACCOUNT") != std::string::npos && !account_.empty();
    if (code == 332 || asks_account) {
      if (account_.empty()) throw ENetReplyRFCError(code, last_reply_.JoinedText());
      SendCommand("ACCT " + account_, {202, 230, 500});
    }
  }
  login_reply_ = last_reply_;
  if (OnBannerAfterLogin) OnBannerAfterLogin(login_reply_.FormattedReply());
}

bool TNetFTP::RequestFeatures() {
  feature_list_.clear();
  int code = SendCommand("FEAT");
  if ((code == 211 || code == 221) && last_reply_.Text.size() > 2)
    feature_list_.assign(last_reply_.Text.begin() + 1, last_reply_.Text.end() - 1);
  // 500 and 502: the server has no FEAT; other refusals (530 "log in first")
  // are worth asking again after the login.
  return code == 211 || code == 221 || code == 500 || code == 502;
}

std::vector<std::string> TNetFTP::FeatureWords(const std::string& feature) const {
  const std::string want = platform::ascii_uppercase(feature);
  for (const std::string& line : feature_list_) {
    if (platform::ascii_uppercase(first_word(line)) != want) continue;
    std::string rest = platform::ascii_uppercase(ltrim(line));
    std::vector<std::string> words;
    std::string word;
    for (char c : rest.substr(want.size()) + ";") {
      if (c == ';' || c == ' ') {
        if (!word.empty()) words.push_back(word);
        word.clear();
      } else {
        word += c;
      }
    }
    if (words.empty()) words.push_back(want);
    return words;
  }
  return {};
}

void TNetFTP::StartControlTLS() {
  SendCommand("AUTH TLS", {234});
  // Anything the server sent after its 234 was sent in clear and could have
  // been injected on the way: it must not be read as a TLS-protected reply.
  io_->ClearInputBuffer();
  if (!tls_ctx_) tls_ctx_ = std::make_unique<TNetTLSContext>(tls_verify_peer_, tls_ca_file_);
  io_->StartTLS(*tls_ctx_, nullptr);
}

std::string TNetFTP::ClientIdentification() const {
  if (client_info_.ClientName.empty()) return kDefaultClientId;
  std::string id = client_info_.ClientName;
  if (!client_info_.ClientVersion.empty()) {
    id += " " + client_info_.ClientVersion;
    if (!client_info_.PlatformDescription.empty()) id += " " + client_info_.PlatformDescription;
  }
  return id;
}

void TNetFTP::NegotiateFeatures() {
  if (IsExtSupported("CLNT")) SendCommand("CLNT " + ClientIdentification());
  if (IsExtSupported("UTF8")) io_->DefStringEncoding = TNetTextEncoding::UTF8;
}

bool TNetFTP::IsExtSupported(const std::string& feature) const {
  const std::string want = platform::ascii_uppercase(feature);
  for (const std::string& line : feature_list_)
    if (platform::ascii_uppercase(first_word(line)) == want) return true;
  return false;
}

void TNetFTP::DisconnectNotifyPeer() {
  io_->WriteLine("QUIT");
  if (io_->WaitForData(kQuitWaitMs)) ReadReplyLines();
}

// ---- working directory and upload ----

void TNetFTP::ChangeWorkingDir(const std::string& directory) {
  SendCommand("CWD " + directory, {200, 250, 257});
}

void TNetFTP::Put(TStream& source, const std::string& dest_file, bool append,
                  std::int64_t start_position) {
  if (dest_file.empty()) throw ENetFTPUploadFileNameCanNotBeEmpty();
  if (start_position >= 0) source.SetPosition(start_position);
  if (OnBeforePut) OnBeforePut(source);
  if (append)
    PassiveTransfer("APPE " + dest_file, source, false, false);
  else if (start_position < 0)
    PassiveTransfer("STOR " + dest_file, source, true, false);
  else
    PassiveTransfer("STOR " + dest_file, source, false, true);
  if (OnAfterPut) OnAfterPut();
}

void TNetFTP::Rename(const std::string& from, const std::string& to) {
  SendCommand("RNFR " + from, {350});
  SendCommand("RNTO " + to, {250});
}

void TNetFTP::Delete(const std::string& name) { SendCommand("DELE " + name, {250}); }

void TNetFTP::PassiveTransfer(const std::string& command, TStream& source, bool from_beginning,
                              bool restart) {
  // Only passive transfers are built; refuse rather than send nothing.
  if (!passive_) throw ENetException("Active mode transfers are not supported.");
  if (!io_) throw ENetNotConnected();
  Status(TNetStatus::ftpTransfer, "Starting FTP transfer");
  if (IsExtSupported("PRET")) SendCommand("PRET " + command);
  SendCommand("PASV", {227});
  NetPasvTarget target = parse_pasv_reply(
      last_reply_.Text.empty() ? std::string() : last_reply_.Text[0], io_->Binding().PeerIP());
  // Only the port is taken: a reply naming another host could point the
  // archive at any address, local services included.
  target.ip = io_->Binding().PeerIP();
  if (restart) SendCommand("REST " + std::to_string(source.Position()), {350});

  const std::uint64_t total = static_cast<std::uint64_t>(std::max<std::int64_t>(
      from_beginning ? source.Size() : source.Size() - source.Position(), 0));
  std::uint64_t sent = 0, reported = 0;

  // The command goes out first; its reply is read once the data connection
  // is open (servers answer 150 before or 125 after accepting it).
  io_->WriteLine(command);

  std::exception_ptr failure;
  bool cancelled = false;
  bool server_may_explain = false;
  TNetTCPClient data;
  {
    TNetIOHandlerStack& h = data.CreateIOHandler();
    h.RecvBufferSize = io_->RecvBufferSize;
    h.SendBufferSize = io_->SendBufferSize;
    h.LargeStream = true;
    h.OnWork = [&](std::int64_t n) {
      sent += static_cast<std::uint64_t>(n);
      if (OnWork && sent - reported >= kWorkStep) {
        reported = sent;
        OnWork(sent, total);
      }
    };
  }
  data_tls_reused_ = false;
  transfer_started_ = false;
  try {
    const int timeout = transfer_timeout_ > 0 ? transfer_timeout_ : io_->ReadTimeout;
    data.SetIPVersion(ip_version_);
    data.SetReadTimeout(timeout);
    data.SetWriteTimeout(timeout);
    data.SetConnectTimeout(io_->ConnectTimeout);
    data.SetHost(target.ip);
    data.SetPort(target.port);
    if (OnDataChannelCreate) OnDataChannelCreate(data);
    data.Connect();
    try {
      ReadReply({110, 125, 150});
      transfer_started_ = true;
      if (data_protected_) {
        NetTLSSession session = io_->TLSSession();
        data.IOHandler()->StartTLS(*tls_ctx_, session.get());
        data_tls_reused_ = data.IOHandler()->TLSSessionReused();
      }
      if (OnWork) OnWork(0, total);
      // Every send error counts, "not a socket" included: ignoring one would
      // let a cut-short file pass as stored.
      data.IOHandler()->WriteStream(source, from_beginning ? 0 : -1);
      if (OnWork) OnWork(sent, total);
      // close_notify, then the close: how the server learns the file is
      // complete.
      data.IOHandler()->FinishTLS();
    } catch (...) {
      // A reset, not a clean end: the server must not take what arrived for
      // the whole file.
      if (data.IOHandler()) data.IOHandler()->Abort();
      throw;
    }
    data.Disconnect(false);
  } catch (const platform::ECancelled&) {
    failure = std::current_exception();
    cancelled = true;
  } catch (const ENetSocketError&) {
    failure = std::current_exception();
    server_may_explain = true;
  } catch (const ENetConnClosedGracefully&) {
    failure = std::current_exception();
    server_may_explain = true;
  } catch (...) {
    failure = std::current_exception();
  }
  if (OnDataChannelDestroy) OnDataChannelDestroy(data);

  if (last_reply_.NumericCode() >= 300) {
    Status(TNetStatus::ftpAborted, "Transfer aborted");
  } else if (!failure) {
    Status(TNetStatus::ftpReady, "Transfer complete");
    try {
      ReadReply({226, 225, 250});
    } catch (const platform::ECancelled&) {
      // Cancelled while the server still works through the data: its final
      // reply is still to come and must not be taken for the answer to the
      // clean-up's next command.
      failure = std::current_exception();
      Status(TNetStatus::ftpAborted, "Transfer aborted");
      ReadVerdictAfterFailure(true, false);
    } catch (const ENetReadTimeout&) {
      // The verdict is overdue: ABOR asks for it at once.
      failure = std::current_exception();
      Status(TNetStatus::ftpAborted, "Transfer aborted");
      ReadVerdictAfterFailure(false, false, true);
    }
  } else {
    Status(TNetStatus::ftpAborted, "Transfer aborted");
    ReadVerdictAfterFailure(cancelled, server_may_explain);
  }
  if (failure) std::rethrow_exception(failure);
}

void TNetFTP::ReadVerdictAfterFailure(bool cancelled, bool server_may_explain,
                                      bool verdict_overdue) {
  // The server still answers the transfer command; reading that answer keeps
  // the control connection in step for the clean-up that follows (deleting
  // a partial file). After a cancel the read runs shielded from the raised
  // token and briefly.
  platform::CancelToken calm;
  std::optional<platform::CancelScope> shield;
  const int saved = io_->ReadTimeout;
  if (cancelled || verdict_overdue) {
    shield.emplace(calm);
    if (saved <= 0 || saved > kVerdictAfterCancelMs) io_->ReadTimeout = kVerdictAfterCancelMs;
  }
  try {
    try {
      if (verdict_overdue) throw ENetReadTimeout();
      ReadReplyLines();
    } catch (const ENetReadTimeout&) {
      // No verdict (a server still waiting for a data connection that was
      // reset before it accepted it): ABOR ends the transfer, and its
      // answer puts the control connection back in step. (Should the
      // transfer's own reply cross the ABOR, the ABOR's answer is still on
      // its way; the clean-up passes over it, see ftp_upload.cpp.)
      io_->WriteLine("ABOR");
      for (int i = 0; i < 2; ++i) {
        ReadReplyLines();
        const int code = last_reply_.NumericCode();
        if (code == 225 || code == 226 || code >= 500) break;
      }
    }
  } catch (const ENetException&) {
    // Still nothing: the control connection cannot serve any further
    // command.
    io_->ReadTimeout = saved;
    Disconnect(false);
    return;
  }
  io_->ReadTimeout = saved;
  // After a network error the server's own refusal (552 disk full, 425 ...)
  // says more than our side of it; a success reply never hides a failure.
  if (server_may_explain) {
    const int code = last_reply_.NumericCode();
    if (code != 226 && code != 225 && code != 250) CheckReply({226, 225, 250});
  }
}

}  // namespace ftp
