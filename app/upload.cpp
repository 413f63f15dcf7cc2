// The cloud upload (the hidden "uploadbtn") and the web notice that follows it.
//
// The archive is stored under a temporary name ("<archive>.part") and renamed
// to the archive's name only after the server confirmed the transfer, so a
// failed or cancelled upload never leaves a file under the archive's name
// that could pass for a complete backup. When anything fails after the
// transfer began, the temporary file is deleted while the control connection
// still allows it; the first error is what the caller sees.
#include <memory>
#include <optional>

#include "app/backup_names.h"
#include "app/yedekalma.h"
#include "ftp/net_stream.h"
#include "platform/cancel.h"
#include "platform/codepage.h"

namespace app {
namespace {

// Suffix of the name the archive travels under until the server has it all.
constexpr const char* kPartialSuffix = ".part";
// Longest wait for each answer while cleaning up after a failure.
constexpr int kCleanupReplyMs = 5000;

// Clean-up after a failure or a cancel: the cancelled run's token is set, so
// the clean-up runs under a token of its own that is never raised, with
// short reply waits.
class CleanupShield {
 public:
  explicit CleanupShield(ftp::TNetFTP& client) : scope_(calm_), client_(client) {
    saved_ = client.ReadTimeout();
    client.SetReadTimeout(kCleanupReplyMs);
  }
  ~CleanupShield() { client_.SetReadTimeout(saved_); }
  CleanupShield(const CleanupShield&) = delete;
  CleanupShield& operator=(const CleanupShield&) = delete;

 private:
  platform::CancelToken calm_;
  platform::CancelScope scope_;
  ftp::TNetFTP& client_;
  int saved_ = 0;
};

}  // namespace

void TyedekalmafCore::uploadbtnClick() {
  const std::string archive = platform::utf16_to_ansi(ZipArchiver1.FileName());
  // The archive first: a missing file fails before any network activity.
  ftp::TFileStream source(archive);
  // A client of its own for this upload, disconnected and freed whatever
  // happens.
  auto client = std::make_unique<ftp::TNetFTP>();
  NetFTP1 = client.get();
  struct Cleanup {
    TyedekalmafCore& self;
    std::unique_ptr<ftp::TNetFTP>& client;
    ~Cleanup() {
      try {
        CleanupShield shield(*client);
        client->Disconnect();
      } catch (...) {
        // the upload's own error (if any) is the one the operator sees
      }
      client.reset();
      self.NetFTP1 = &self.design_ftp_;
    }
  } cleanup{*this, client};

  // Binary transfers: a ZIP sent as ASCII would have its line ends changed.
  client->SetHost(service_.host);
  client->SetPort(static_cast<std::uint16_t>(service_.ftp_port));
  client->SetUsername(service_.user);
  client->SetPassword(service_.password);
  client->SetTransferType(ftp::TNetFTPTransferType::ftBinary);
  client->Connect();
  client->SetPassive(true);
  client->ChangeWorkingDir("dbler/" + ayarlarlevhano->AsString());

  const std::string name = base_name(archive);
  const std::string partial = name + kPartialSuffix;
  try {
    client->Put(source, partial, false, -1);
    // A refused rename (a server without RNFR/RNTO, a name it will not
    // replace) fails the upload like a failed transfer.
    client->Rename(partial, name);
  } catch (...) {
    try {
      CleanupShield shield(*client);
      if (client->IsConnected()) client->Delete(partial);
    } catch (...) {
      // best effort: the partial file's name marks it as incomplete anyway
    }
    throw;
  }
}

void TyedekalmafCore::SendNotice(const std::string& archive) {
  webb_.Navigate(notice_url(service_.host, service_.web_port, ayarlarlevhano->AsString(), archive));
}

}  // namespace app
