// Options and object sets of the dump component (TDbDump / TMyDump). Plain
// structs: the component owns one copy, the processor takes a copy at the start
// of every Backup.
#pragma once

#include <cstdint>

namespace dump {

// What Backup writes, in declaration order. doEvents, the database's
// scheduled events, comes after the component's own kinds.
enum class TMyDumpObject : std::uint8_t {
  doDatabase,
  doUsers,
  doStoredProcs,
  doTables,
  doData,
  doViews,
  doTriggers,
  doEvents,
};

// A set of TMyDumpObject members.
class TMyDumpObjects {
 public:
  constexpr TMyDumpObjects() = default;
  constexpr TMyDumpObjects(std::initializer_list<TMyDumpObject> items) {
    for (auto o : items) Include(o);
  }
  constexpr void Include(TMyDumpObject o) { bits_ |= Bit(o); }
  constexpr void Exclude(TMyDumpObject o) { bits_ &= static_cast<std::uint8_t>(~Bit(o)); }
  constexpr bool Contains(TMyDumpObject o) const { return (bits_ & Bit(o)) != 0; }
  constexpr bool Empty() const { return bits_ == 0; }
  friend constexpr bool operator==(TMyDumpObjects, TMyDumpObjects) = default;

 private:
  static constexpr std::uint8_t Bit(TMyDumpObject o) {
    return static_cast<std::uint8_t>(1u << static_cast<unsigned>(o));
  }
  std::uint8_t bits_ = 0;
};

enum class TMyInsertType { itInsert, itInsertIgnore, itReplaceInto };

// Database-neutral options.
struct TDbDumpOptions {
  bool GenerateHeader = true;   // comment header and per-table comments
  bool AddDrop = true;          // DROP ... IF EXISTS (TRUNCATE for data only)
  bool QuoteNames = false;      // backticks around every name
  bool CompleteInsert = false;  // INSERT statements carry the column list
};

// MySQL options.
struct TMyDumpOptions : TDbDumpOptions {
  bool AddLock = true;         // LOCK TABLES ... WRITE / UNLOCK TABLES
  bool DisableKeys = false;    // ALTER TABLE ... DISABLE / ENABLE KEYS
  bool HexBlob = false;        // binary strings and blobs as 0x...
  bool UseExtSyntax = true;    // many rows per INSERT
  bool UseDelayedIns = false;  // INSERT DELAYED; also no table locks
  int CommitBatchSize = 0;     // > 0: BEGIN; / COMMIT; framing
  TMyInsertType InsertType = TMyInsertType::itInsert;
  bool FieldsAsString = false;  // every non-blob column fetched as text
};

}  // namespace dump
