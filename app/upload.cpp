// The cloud upload (the hidden "uploadbtn") and the web notice that follows it.
//
// The archive is stored under a temporary name and renamed to its own name
// only after the server confirmed the transfer (ftp/ftp_upload.h), so a
// failed or cancelled upload never leaves a file under the archive's name
// that could pass for a complete backup.
#include <memory>

#include "app/backup_names.h"
#include "app/yedekalma.h"
#include "ftp/ftp_upload.h"
#include "ftp/net_stream.h"
#include "platform/cancel.h"
#include "platform/codepage.h"

namespace app {

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
        ftp::NetCleanupShield shield(*client);
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
  // Bytes sent reach the window's progress label; a cancelled run ends the
  // transfer from here.
  client->OnWork = [this](std::uint64_t sent, std::uint64_t total) { UploadWork(sent, total); };
  client->Connect();
  client->SetPassive(true);
  client->ChangeWorkingDir("dbler/" + platform::utf8_to_ansi(ayarlarlevhano->AsString()));

  // Under a temporary name first, renamed once the server confirmed it.
  ftp::put_via_temporary_name(*client, source, base_name(archive));
}

void TyedekalmafCore::SendNotice(const std::string& archive) {
  // levhano arrives as UTF-8 from the session; the program's texts are Windows-1254.
  webb_.Navigate(notice_url(service_.host, service_.web_port,
                            platform::utf8_to_ansi(ayarlarlevhano->AsString()), archive));
}

}  // namespace app
