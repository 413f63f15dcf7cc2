// ConsistentSnapshot: a read-only transaction that makes every statement of a
// connection read one consistent snapshot of the database, for a backup that
// reads many tables while other programs keep committing. A transaction that
// another program commits during the backup is either wholly in what the
// backup reads or wholly out of it (tables of transactional engines; a
// MyISAM table is read as it is at the moment it is read).
//
// Starting it: "SET TRANSACTION ISOLATION LEVEL REPEATABLE READ" (for this
// transaction only, so the session's own level is untouched), then "START
// TRANSACTION WITH CONSISTENT SNAPSHOT". Neither needs a privilege, and a
// consistent read takes no row or table lock: other programs go on writing.
// Until the transaction ends, though, the server holds a shared metadata lock
// on every table read, so a change of a table's structure by another program
// waits for the end.
//
// Flow: EnsureConnected -> ConsistentSnapshot snapshot(connection) ->
// statements on the same connection -> End() (raises when the snapshot did
// not last, or the ROLLBACK failed) -- or destruction after an error or a
// cancel, which ends the transaction without raising: ROLLBACK on a live
// connection, nothing on a lost one, and on a cancelled run the connection is
// closed instead of waiting for the server, which then rolls back itself.
// Same thread as the connection; the connection must outlive the snapshot.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "mysql/my_connection.h"

namespace mysql {

// The statements that start the transaction on a server of the given
// version. WITH CONSISTENT SNAPSHOT exists from 4.1.8 on; an older server
// gets a plain BEGIN, whose snapshot is taken by the first read of a
// transactional table instead of at once.
std::vector<std::string> snapshot_start_statements(int major, int minor, int release);

// Raised by End() when the statements did not all read the snapshot: the
// transaction was ended (an implicit commit) or the connection was made anew
// while it was meant to last.
class ESnapshotBroken : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class ConsistentSnapshot {
 public:
  // Starts the transaction on the open connection; raises the server's error.
  explicit ConsistentSnapshot(TMyConnection& connection);
  // Ends a transaction that End() did not end; never raises.
  ~ConsistentSnapshot();
  ConsistentSnapshot(const ConsistentSnapshot&) = delete;
  ConsistentSnapshot& operator=(const ConsistentSnapshot&) = delete;

  // Checks that every statement since the start read the snapshot, then
  // ends the transaction (ROLLBACK: nothing was written). After a failed
  // ROLLBACK the connection is closed, so the server ends the transaction.
  void End();

 private:
  // True while the session that started the transaction is still open.
  bool SameSession() const;
  void CloseQuietly() noexcept;

  TMyConnection& connection_;
  std::uint64_t connect_count_ = 0;
  // The server reports the transaction in every answer's status (4.1 and
  // later): End() checks it is still open.
  bool status_reported_ = false;
  bool active_ = false;
};

}  // namespace mysql
