// The snapshot transaction of a backup (see consistent_snapshot.h).
#include "mysql/consistent_snapshot.h"

#include "mysql/my_sql_session.h"
#include "mysql/result_set.h"
#include "platform/cancel.h"

namespace mysql {

namespace {

bool at_least(int major, int minor, int release, int want_major, int want_minor, int want_release) {
  if (major != want_major) return major > want_major;
  if (minor != want_minor) return minor > want_minor;
  return release >= want_release;
}

}  // namespace

std::vector<std::string> snapshot_start_statements(int major, int minor, int release) {
  // Without a keyword the level applies to the next transaction only.
  std::vector<std::string> statements{"SET TRANSACTION ISOLATION LEVEL REPEATABLE READ"};
  statements.push_back(at_least(major, minor, release, 4, 1, 8)
                           ? "START TRANSACTION WITH CONSISTENT SNAPSHOT"
                           : "BEGIN");
  return statements;
}

ConsistentSnapshot::ConsistentSnapshot(TMyConnection& connection) : connection_(connection) {
  const int major = connection.ServerMajorVersion(), minor = connection.ServerMinorVersion(),
            release = connection.ServerReleaseVersion();
  status_reported_ = at_least(major, minor, release, 4, 1, 0);
  connect_count_ = connection.connect_count();
  for (const std::string& sql : snapshot_start_statements(major, minor, release))
    connection.ExecSQL(sql);
  active_ = true;
}

ConsistentSnapshot::~ConsistentSnapshot() {
  if (!active_) return;
  active_ = false;
  // A lost connection took its transaction with it.
  if (!SameSession()) return;
  // A cancelled run does not wait for the server's answer: closing the
  // connection ends the transaction as surely.
  if (platform::cancel_requested()) {
    CloseQuietly();
    return;
  }
  try {
    connection_.ExecSQL("ROLLBACK");
  } catch (...) {
    // The error that unwinds the run is the one to report.
    CloseQuietly();
  }
}

void ConsistentSnapshot::End() {
  if (!active_) return;
  active_ = false;
  if (!SameSession())
    throw ESnapshotBroken(
        "The connection to the MySQL server was made anew during the backup, so the tables were "
        "not read in one consistent snapshot");
  // Every answer since the start carries the server's "in transaction"
  // status; the last one tells whether something ended it on the way.
  const bool lasted =
      !status_reported_ || (connection_.Session().ServerStatus() & SERVER_STATUS_IN_TRANS) != 0;
  try {
    connection_.ExecSQL("ROLLBACK");
  } catch (...) {
    if (SameSession()) CloseQuietly();
    throw;
  }
  if (!lasted)
    throw ESnapshotBroken(
        "The backup's transaction ended before the last table was read, so the tables were not "
        "read in one consistent snapshot");
}

bool ConsistentSnapshot::SameSession() const {
  return connection_.Connected() && connection_.connect_count() == connect_count_;
}

void ConsistentSnapshot::CloseQuietly() noexcept {
  try {
    connection_.Disconnect();
  } catch (...) {
    // Closing after another error: that error is the one reported.
  }
}

}  // namespace mysql
