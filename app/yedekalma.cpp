// Components of the main window, start-up and close.
#include "app/yedekalma.h"

#include "app/event_handler.h"
#include "app/settings_file.h"
#include "mysql/charset.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/user_interface.h"

namespace app {

TyedekalmafCore::TyedekalmafCore(MainWindow& window, TWebBrowser& browser, ServiceConfig service)
    : window_(window), webb_(browser), service_(std::move(service)) {
  baglanti.SetName("baglanti");
  baglanti.SetServer("localhost");
  baglanti.SetUsername("root");
  baglanti.SetDatabase("dorvane");
  // The server's full Unicode set: names, statements and values travel as
  // UTF-8, so no character of any column is replaced.
  baglanti.Options().SetCharset(std::string(mysql::kUnicodeCharset));

  q.SetName("q");
  q.SetConnection(&baglanti);

  MyDump.SetConnection(&baglanti);
  MyDump.Options().GenerateHeader = false;
  MyDump.Options().AddDrop = false;
  // Every name in backticks: a table called order or a name that is a reserved
  // word of a later server version must stay a name.
  MyDump.Options().QuoteNames = true;

  ZipArchiver1.SetName("ZipArchiver1");
  ZipArchiver1.SetCompressionLevel(zip::clFastest);
  ZipArchiver1.SetCompressionMode(1);
  ZipArchiver1.SetSpanningMode(zip::smNone);
  // Zip64 values when an entry needs them (a script of 4 GiB or more); an
  // archive under 4 GiB is written as before.
  ZipArchiver1.SetZip64Mode(zip::zmAuto);
  ZipArchiver1.SetUnicodeFilenames(false);
  ZipArchiver1.Options().OEMFileNames = true;
  ZipArchiver1.Options().FlushBuffers = true;
  ZipArchiver1.SetInMemory(false);
  ZipArchiver1.SetExtractCorruptedFiles(false);
  ZipArchiver1.SetEncryptionMethod(zip::caPkzipClassic);

  ayarlar.SetName("ayarlar");
  ayarlar.SetConnection(&baglanti);
  ayarlar.SetSQL("select * from ayarlar");
  ayarlarbulutyedekleme =
      &ayarlar.AddField<mysql::TSmallintField>("bulutyedekleme", "ayarlarbulutyedekleme");
  ayarlarlevhano = &ayarlar.AddField<mysql::TStringField>("levhano", "ayarlarlevhano", 100);

  design_ftp_.SetIPVersion(ftp::TNetIPVersion::Net_IPv4);
  NetFTP1 = &design_ftp_;
}

// A run still going is cancelled and its worker joined first. Members then
// go in reverse order: the datasets close before the connection sends
// COM_QUIT.
TyedekalmafCore::~TyedekalmafCore() {
  if (worker_.joinable()) {
    cancel_.Cancel();
    worker_.join();
  }
  alive_.reset();
}

bool TyedekalmafCore::Start() {
  terminate_ = false;
  run_event_handler([this] { FormCreate(); });
  return !terminate_;
}

void TyedekalmafCore::FormCreate() {
  // Without a login file there is nothing to do.
  if (!platform::file_exists(kLoginFileName)) {
    platform::user_interface().ShowMessage(kNoLoginFileMessage);
    terminate_ = true;
    return;
  }
  // Server, user name and password from ip.txt.
  loginm = read_settings_file(kLoginFileName);
  baglanti.SetServer(settings_line(loginm, 0));
  // The connection's texts are UTF-8; the settings files are Windows-1254.
  // The password goes as its bytes: accounts made for the program's earlier
  // latin login must keep working.
  baglanti.SetUsername(platform::ansi_to_utf8(settings_line(loginm, 1)));
  baglanti.SetPassword(settings_line(loginm, 2));
  // The database name goes through the label, as the operator sees it.
  yedekm = read_settings_file(kDatabaseFileName);
  window_.SetDbLabelCaption(settings_line(yedekm, 0));
  baglanti.SetDatabase(platform::ansi_to_utf8(window_.DbLabelCaption()));
  // Connect with the stored credentials (no login dialog exists).
  baglanti.Connect();
}

void TyedekalmafCore::iptalbtnClick() { window_.Close(); }

}  // namespace app
