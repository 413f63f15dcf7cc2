// The upload under a temporary name; see ftp_upload.h.
#include "ftp/ftp_upload.h"

#include <chrono>
#include <thread>

namespace ftp {
namespace {

// Longest time the clean-up asks again for a temporary file the server does
// not show yet, and the pause between the attempts.
constexpr auto kDeleteRetryBudget = std::chrono::milliseconds(2000);
constexpr auto kDeleteRetryPause = std::chrono::milliseconds(200);

// Replies that answer a transfer or an ABOR, never a DELE: after a failed
// transfer one of them may still be on its way when DELE goes out.
bool is_transfer_reply(int code) {
  return (code >= 100 && code < 200) || code == 225 || code == 226 || code == 426;
}

// DELE of the temporary file with the control connection brought back in
// step: a late transfer reply before DELE's own answer is passed over, and a
// server that does not show the file yet (still creating or closing it) is
// asked again for a short while.
void delete_partial(TNetFTP& client, const std::string& partial) {
  const auto deadline = std::chrono::steady_clock::now() + kDeleteRetryBudget;
  for (;;) {
    int code = client.SendCommand("DELE " + partial, {});
    for (int stale = 0; stale < 3 && is_transfer_reply(code); ++stale) code = client.ReadReply();
    if (code != 550 || !client.TransferStarted() ||
        std::chrono::steady_clock::now() + kDeleteRetryPause > deadline)
      return;
    std::this_thread::sleep_for(kDeleteRetryPause);
  }
}

}  // namespace

NetCleanupShield::NetCleanupShield(TNetFTP& client)
    : scope_(calm_), client_(client), saved_read_timeout_(client.ReadTimeout()) {
  if (saved_read_timeout_ <= 0 || saved_read_timeout_ > kCleanupReplyMs)
    client.SetReadTimeout(kCleanupReplyMs);
}

NetCleanupShield::~NetCleanupShield() { client_.SetReadTimeout(saved_read_timeout_); }

void put_via_temporary_name(TNetFTP& client, TStream& source, const std::string& name) {
  const std::string partial = name + kPartialSuffix;
  try {
    client.Put(source, partial, false, -1);
    client.Rename(partial, name);
  } catch (...) {
    try {
      NetCleanupShield shield(client);
      if (client.IsConnected()) delete_partial(client, partial);
    } catch (...) {
      // best effort: the ".part" name marks the file as incomplete anyway
    }
    throw;
  }
}

}  // namespace ftp
