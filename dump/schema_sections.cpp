// The views, stored routines, triggers and events of one Backup (see
// dump_processor.h). Each object is written with the definition the server
// gives for it, its DEFINER included, so that the standard command-line client
// recreates it in an empty database of any name:
//
// - views: a stand-in table with the view's columns for every view first,
//   then each stand-in replaced by its view, so views that use views load in
//   any order;
// - routines, triggers and events: between DELIMITER lines, under the
//   sql_mode and collation_connection they were created under (and, for
//   events, their time zone), each restored afterwards.
//
// What the account may not read is left out and recorded in LeftOut, never
// dropped in silence.
#include <algorithm>

#include "dump/dump_processor.h"
#include "dump/literals.h"
#include "dump/schema_objects.h"
#include "mysql/my_error.h"
#include "platform/ascii_case.h"

namespace dump {
namespace {

// A text as comment lines: every line of it after "-- ".
void emit_commented(LineSink& sink, std::string_view text) {
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = text.size();
    sink.Emit("-- " + std::string(text.substr(start, end - start)));
    if (end == text.size()) break;
    start = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
  }
}

}  // namespace

const std::optional<std::string>& TCustomMyDumpProcessor::ResultTable::At(
    size_t i, std::string_view column) const {
  for (size_t c = 0; c < names.size(); ++c) {
    if (platform::equal_ignoring_ascii_case(names[c], column)) return rows.at(i).at(c);
  }
  throw EDumpError("Unexpected result of \"" + sql + "\": no column " + std::string(column));
}

TCustomMyDumpProcessor::ResultTable TCustomMyDumpProcessor::Query(const std::string& sql) {
  DumpRowReader& rows = source_->Rows();
  ResultTable result;
  result.sql = sql;
  rows.Execute(sql);
  for (const auto& c : rows.Columns()) result.names.push_back(c.name);
  while (rows.Next()) {
    auto& row = result.rows.emplace_back();
    for (size_t i = 0; i < result.names.size(); ++i) {
      if (rows.IsNull(i)) {
        row.emplace_back();
      } else {
        row.emplace_back(std::string(rows.Value(i)));
      }
    }
  }
  rows.Close();
  return result;
}

std::optional<std::string> TCustomMyDumpProcessor::TryQuery(const std::string& sql,
                                                            ResultTable& result) {
  try {
    result = Query(sql);
    return std::nullopt;
  } catch (const mysql::EMyError& e) {
    if (!is_access_denied(e.ErrorCode())) throw;
    return server_message(e.what());
  }
}

std::string TCustomMyDumpProcessor::Literal(std::string_view text) const {
  std::string out;
  append_quoted(out, text, source_->BackslashEscapes());
  return out;
}

std::vector<std::string> TCustomMyDumpProcessor::Privileges() {
  if (privileges_) return *privileges_;
  // information_schema names grantees as 'user'@'host' and roles as
  // 'role'@''; an account that may read the grant tables sees every
  // account's rows, so only the current user's and role's count. A
  // database-level grant may name the database with wildcards.
  const std::string user =
      "CONCAT('''', SUBSTRING_INDEX(CURRENT_USER(), '@', 1), '''@''', "
      "SUBSTRING_INDEX(CURRENT_USER(), '@', -1), '''')";
  const std::string role = "CONCAT('''', IFNULL(CURRENT_ROLE(), ''), '''@''''')";
  const std::string grantee = "GRANTEE IN (" + user + ", " + role + ")";
  const std::string sql =
      "SELECT CONCAT('*.', PRIVILEGE_TYPE) FROM information_schema.USER_PRIVILEGES WHERE " +
      grantee + " UNION SELECT PRIVILEGE_TYPE FROM information_schema.SCHEMA_PRIVILEGES WHERE " +
      grantee + " AND " + Literal(source_->Database()) + " LIKE TABLE_SCHEMA";
  std::vector<std::string> held;
  try {
    ResultTable result = Query(sql);
    for (const auto& row : result.rows) {
      if (!row.empty() && row[0]) held.push_back(*row[0]);
    }
  } catch (const mysql::EMyError& e) {
    if (e.IsFatal()) throw;
    // A server without these tables or functions: nothing is known, so
    // nothing is claimed.
    held.clear();
  }
  privileges_ = held;
  return held;
}

bool TCustomMyDumpProcessor::HoldsAny(std::initializer_list<std::string_view> privileges) {
  const std::vector<std::string> held = Privileges();
  for (auto p : privileges) {
    for (const auto& h : held) {
      // A privilege on every database ("*.X") counts for this one as well.
      if (platform::equal_ignoring_ascii_case(h, p) ||
          (p.substr(0, 2) != "*." && h.size() > 2 && h.substr(0, 2) == "*." &&
           platform::equal_ignoring_ascii_case(std::string_view(h).substr(2), p)))
        return true;
    }
  }
  return false;
}

void TCustomMyDumpProcessor::LeaveOut(ObjectKind kind, LeftOutObject::Scope scope, std::string name,
                                      std::string reason) {
  left_out_.push_back({kind, scope, std::move(name), std::move(reason)});
}

void TCustomMyDumpProcessor::EmitObject(const std::string& create, const ResultTable& shown) {
  const auto setting = [&](std::string_view column) -> std::optional<std::string> {
    for (size_t c = 0; c < shown.names.size(); ++c) {
      if (platform::equal_ignoring_ascii_case(shown.names[c], column)) return shown.rows[0][c];
    }
    return std::nullopt;
  };
  // A routine's parameters and variables without a character set take the
  // database's default as it was when the routine was made: the database
  // of the load gets that default first (ALTER DATABASE without a name
  // changes the current one, whatever its name). SetBackDatabaseCollation
  // restores the dumped database's own default afterwards.
  if (const auto db_collation = setting("Database Collation")) {
    if (*db_collation != script_db_collation_) {
      Emit("/*!40100 ALTER DATABASE COLLATE " + Literal(*db_collation) + " */;");
      script_db_collation_ = *db_collation;
    }
  }
  // The script's own settings are saved and set back after the object.
  const auto sql_mode = setting("sql_mode");
  const auto collation = setting("collation_connection");
  const auto time_zone = setting("time_zone");
  if (sql_mode)
    Emit("/*!50003 SET @OLD_OBJECT_SQL_MODE=@@SQL_MODE, SQL_MODE=" + Literal(*sql_mode) + " */;");
  if (collation)
    Emit("/*!50003 SET @OLD_OBJECT_COLLATION=@@COLLATION_CONNECTION, COLLATION_CONNECTION=" +
         Literal(*collation) + " */;");
  // An event's schedule is written in its own time zone.
  if (time_zone)
    Emit("/*!50106 SET @OLD_OBJECT_TIME_ZONE=@@TIME_ZONE, TIME_ZONE=" + Literal(*time_zone) +
         " */;");
  const std::string delimiter = statement_delimiter(create);
  Emit("DELIMITER " + delimiter);
  // One line, with the definition's own line breaks: the body is loaded
  // byte for byte as the server gave it.
  Emit(create + delimiter);
  Emit("DELIMITER ;");
  if (time_zone) Emit("/*!50106 SET TIME_ZONE=@OLD_OBJECT_TIME_ZONE */;");
  if (collation) Emit("/*!50003 SET COLLATION_CONNECTION=@OLD_OBJECT_COLLATION */;");
  if (sql_mode) Emit("/*!50003 SET SQL_MODE=@OLD_OBJECT_SQL_MODE */;");
  Emit("");
}

void TCustomMyDumpProcessor::SetBackDatabaseCollation() {
  if (script_db_collation_.empty()) return;
  const ResultTable own = Query("SELECT @@collation_database");
  if (own.rows.empty() || own.rows[0].empty() || !own.rows[0][0]) return;
  if (*own.rows[0][0] != script_db_collation_)
    Emit("/*!40100 ALTER DATABASE COLLATE " + Literal(*own.rows[0][0]) + " */;");
  script_db_collation_.clear();
}

void TCustomMyDumpProcessor::BackupViews(const std::vector<const TObject*>& views) {
  struct Plan {
    const TObject* object;
    std::string create;
    std::optional<std::string> collation;
    std::vector<std::string> columns;  // stand-in column definitions
  };
  std::vector<Plan> plans;
  for (const TObject* o : views) {
    const std::string& name = o->Entry.name;
    ResultTable create;
    if (auto denied = TryQuery("SHOW CREATE VIEW " + o->Name, create)) {
      LeaveOut(ObjectKind::kView, LeftOutObject::Scope::kOne, name, *denied);
      continue;
    }
    if (create.rows.empty() || !create.At(0, "Create View"))
      throw EDumpError("No result for \"SHOW CREATE VIEW " + o->Name + "\"");
    const std::string db = o->Entry.database.empty() ? source_->Database() : o->Entry.database;
    Plan plan{o,
              strip_schema_qualifier(*create.At(0, "Create View"), db),
              create.At(0, "collation_connection"),
              {}};
    ResultTable columns;
    std::optional<std::string> broken;
    try {
      broken = TryQuery("SHOW FULL COLUMNS FROM " + o->Name, columns);
    } catch (const mysql::EMyError& e) {
      // 1356: the view uses a table, column or function that is gone, or its
      // definer may not use them. Its CREATE would stop the script's load.
      if (e.ErrorCode() != 1356) throw;
      broken = server_message(e.what());
    }
    if (broken) {
      LeaveOut(ObjectKind::kView, LeftOutObject::Scope::kOne, name, *broken);
      Emit("-- The view " + comment_text(o->Name) + " is left out: " + comment_text(*broken));
      emit_commented(*sink_, plan.create + ";");
      Emit("");
      continue;
    }
    for (size_t i = 0; i < columns.rows.size(); ++i) {
      plan.columns.push_back(stand_in_column(columns.At(i, "Field").value_or(""),
                                             columns.At(i, "Type").value_or(""),
                                             columns.At(i, "Collation").value_or("")));
    }
    plans.push_back(std::move(plan));
  }
  const bool drop = request_->options.AddDrop;
  for (const Plan& p : plans) {
    if (drop) {
      Emit("DROP TABLE IF EXISTS " + p.object->Name + ";");
      Emit("DROP VIEW IF EXISTS " + p.object->Name + ";");
    }
    std::string line = "CREATE TABLE " + p.object->Name + " (";
    for (size_t i = 0; i < p.columns.size(); ++i) line += (i ? ", " : "") + p.columns[i];
    Emit(line + ");");
  }
  if (!plans.empty()) Emit("");
  for (const Plan& p : plans) {
    Emit("DROP TABLE IF EXISTS " + p.object->Name + ";");
    if (p.collation)
      Emit("/*!50003 SET @OLD_OBJECT_COLLATION=@@COLLATION_CONNECTION, COLLATION_CONNECTION=" +
           Literal(*p.collation) + " */;");
    Emit(p.create + ";");
    if (p.collation) Emit("/*!50003 SET COLLATION_CONNECTION=@OLD_OBJECT_COLLATION */;");
    Emit("");
    written_.push_back(p.object->Entry);
  }
}

void TCustomMyDumpProcessor::BackupRoutines() {
  // Functions first (views may call them), then packages and procedures.
  const ResultTable list = Query(
      "SELECT ROUTINE_TYPE, ROUTINE_NAME FROM information_schema.ROUTINES WHERE ROUTINE_SCHEMA = " +
      Literal(source_->Database()) + " ORDER BY ROUTINE_TYPE, ROUTINE_NAME");
  // The server lists only the routines the account holds a privilege on,
  // unless it holds one of these on the database or may read every
  // routine (SELECT on every database).
  if (!HoldsAny(
          {"EXECUTE", "ALTER ROUTINE", "CREATE ROUTINE", "SHOW CREATE ROUTINE", "*.SELECT"})) {
    LeaveOut(ObjectKind::kRoutine, LeftOutObject::Scope::kUnseen, "",
             "the account holds neither EXECUTE, ALTER ROUTINE nor CREATE ROUTINE on the "
             "database, so the server may hide routines from it");
  }
  for (size_t i = 0; i < list.rows.size(); ++i) {
    const std::string type = list.At(i, "ROUTINE_TYPE").value_or("");
    const std::string name = list.At(i, "ROUTINE_NAME").value_or("");
    if (!request_->stored_procs.empty() &&
        std::none_of(request_->stored_procs.begin(), request_->stored_procs.end(),
                     [&](const TableEntry& e) { return e.name == name; }))
      continue;
    ResultTable create;
    if (auto denied = TryQuery("SHOW CREATE " + type + " " + backticked(name), create)) {
      LeaveOut(ObjectKind::kRoutine, LeftOutObject::Scope::kOne, name, *denied);
      continue;
    }
    if (create.rows.empty() || create.names.size() < 3)
      throw EDumpError("No result for \"SHOW CREATE " + type + " " + backticked(name) + "\"");
    // The third column ("Create Procedure", "Create Function", ...) is NULL
    // when the account may run the routine but not read it.
    const std::optional<std::string>& text = create.rows[0][2];
    if (!text) {
      LeaveOut(ObjectKind::kRoutine, LeftOutObject::Scope::kOne, name,
               "the account may not read its definition (only its definer or an account that "
               "may read every routine may)");
      continue;
    }
    EmitObject(*text, create);
  }
}

void TCustomMyDumpProcessor::BackupTriggers() {
  // In the server's order for each table and event, so triggers that fire
  // in turn are made again in the same turn.
  const ResultTable list =
      Query("SELECT TRIGGER_NAME FROM information_schema.TRIGGERS WHERE TRIGGER_SCHEMA = " +
            Literal(source_->Database()) +
            " ORDER BY EVENT_OBJECT_TABLE, ACTION_TIMING, EVENT_MANIPULATION, ACTION_ORDER");
  // The server lists only the triggers of tables the account holds TRIGGER
  // on: an empty or short list proves nothing without it.
  if (!HoldsAny({"TRIGGER"})) {
    LeaveOut(ObjectKind::kTrigger, LeftOutObject::Scope::kUnseen, "",
             "the account holds no TRIGGER privilege on the database, so the server may hide "
             "triggers from it");
  }
  for (size_t i = 0; i < list.rows.size(); ++i) {
    const std::string name = list.At(i, "TRIGGER_NAME").value_or("");
    if (!request_->triggers.empty() &&
        std::none_of(request_->triggers.begin(), request_->triggers.end(),
                     [&](const TableEntry& e) { return e.name == name; }))
      continue;
    ResultTable create;
    if (auto denied = TryQuery("SHOW CREATE TRIGGER " + backticked(name), create)) {
      LeaveOut(ObjectKind::kTrigger, LeftOutObject::Scope::kOne, name, *denied);
      continue;
    }
    const std::optional<std::string> text =
        create.rows.empty() ? std::nullopt : create.At(0, "SQL Original Statement");
    if (!text) throw EDumpError("No result for \"SHOW CREATE TRIGGER " + backticked(name) + "\"");
    EmitObject(*text, create);
  }
}

void TCustomMyDumpProcessor::BackupEvents() {
  // Unlike the lists of routines and triggers, SHOW EVENTS refuses an
  // account without the EVENT privilege instead of hiding events from it.
  ResultTable list;
  try {
    if (auto denied = TryQuery("SHOW EVENTS FROM " + backticked(source_->Database()), list)) {
      LeaveOut(ObjectKind::kEvent, LeftOutObject::Scope::kAll, "", *denied);
      return;
    }
  } catch (const mysql::EMyError& e) {
    // 1064: a server before 5.1 has no events and no statement for them.
    if (e.ErrorCode() != 1064) throw;
    return;
  }
  for (size_t i = 0; i < list.rows.size(); ++i) {
    const std::string name = list.At(i, "Name").value_or("");
    ResultTable create;
    if (auto denied = TryQuery("SHOW CREATE EVENT " + backticked(name), create)) {
      LeaveOut(ObjectKind::kEvent, LeftOutObject::Scope::kOne, name, *denied);
      continue;
    }
    const std::optional<std::string> text =
        create.rows.empty() ? std::nullopt : create.At(0, "Create Event");
    if (!text) throw EDumpError("No result for \"SHOW CREATE EVENT " + backticked(name) + "\"");
    EmitObject(*text, create);
  }
}

}  // namespace dump
