// The dump processors (see dump_processor.h).
#include "dump/dump_processor.h"

#include <charconv>

#include "dump/insert_builder.h"
#include "dump/literals.h"
#include "dump/schema_objects.h"
#include "dump/script_frame.h"
#include "platform/ascii_case.h"
#include "platform/cancel.h"

namespace dump {
namespace {

// True when the blank-separated words of text hold word, in any letter case.
bool has_word(std::string_view text, std::string_view word) {
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && text[i] == ' ') ++i;
    size_t end = text.find(' ', i);
    if (end == std::string_view::npos) end = text.size();
    if (end > i && platform::equal_ignoring_ascii_case(text.substr(i, end - i), word)) return true;
    i = end;
  }
  return false;
}

const char* verb(const TMyDumpOptions& o) {
  switch (o.InsertType) {
    case TMyInsertType::itInsertIgnore:
      return o.UseDelayedIns ? "INSERT DELAYED IGNORE INTO " : "INSERT IGNORE INTO ";
    case TMyInsertType::itReplaceInto:
      return o.UseDelayedIns ? "REPLACE DELAYED INTO " : "REPLACE INTO ";
    case TMyInsertType::itInsert:
      break;
  }
  return o.UseDelayedIns ? "INSERT DELAYED INTO " : "INSERT INTO ";
}

int column_index(const std::vector<DumpColumn>& cols, std::string_view name) {
  for (size_t i = 0; i < cols.size(); ++i) {
    if (platform::equal_ignoring_ascii_case(cols[i].name, name)) return static_cast<int>(i);
  }
  return -1;
}

// Reads the first column of the first row of the current result.
std::string_view first_value(DumpRowReader& rows, size_t column, const std::string& sql) {
  if (rows.Columns().size() <= column || !rows.Next() || rows.IsNull(column)) {
    throw EDumpError("No result for \"" + sql + "\"");
  }
  return rows.Value(column);
}

}  // namespace

// --- TDbDumpProcessor ---

void TDbDumpProcessor::Backup(DumpSource& source, const DumpRequest& request, LineSink& sink) {
  const TMyDumpObjects& objects = request.objects;
  for (auto o : {TMyDumpObject::doDatabase, TMyDumpObject::doUsers}) {
    // Writing nothing for a requested section would look like a complete
    // script; refuse instead.
    if (objects.Contains(o)) throw EDumpError("Dumping databases and users is not supported");
  }
  source_ = &source;
  request_ = &request;
  sink_ = &sink;
  written_.clear();
  left_out_.clear();
  try {
    if (request.options.GenerateHeader) {
      EmitText(header_text({source.ServerVersion(), source.ClientVersion(), script_date_now(),
                            source.Server(), source.Database()}));
    }
    emit_opening_frame(sink, request.charset, HasObjects());
    BackupObjects();
    emit_closing_frame(sink, request.charset, HasObjects());
  } catch (...) {
    written_.clear();
    left_out_.clear();
    try {
      source.Rows().Close();
    } catch (...) {
      // The first error is the one that matters.
    }
    throw;
  }
  source.Rows().Close();
}

// --- TCustomMyDumpProcessor ---

bool TCustomMyDumpProcessor::HasObjects() const {
  const auto& o = request_->objects;
  return o.Contains(TMyDumpObject::doTables) || o.Contains(TMyDumpObject::doData) ||
         o.Contains(TMyDumpObject::doViews) || o.Contains(TMyDumpObject::doStoredProcs) ||
         o.Contains(TMyDumpObject::doTriggers) || o.Contains(TMyDumpObject::doEvents);
}

std::string TCustomMyDumpProcessor::EmissionName(const TableEntry& e) const {
  // Entries hold names as they are (TableNames removed its quotes already).
  const bool quote = request_->options.QuoteNames;
  if (e.database.empty()) return quote_name(e.name, quote);
  if (e.database != source_->Database()) return backticked(e.database) + "." + backticked(e.name);
  return quote_name(e.database, quote) + "." + quote_name(e.name, quote);
}

std::vector<TCustomMyDumpProcessor::TObject> TCustomMyDumpProcessor::ObjectList() {
  std::vector<TableEntry> entries = request_->tables;
  from_table_names_ = !entries.empty();
  if (!from_table_names_) {
    for (auto& name : source_->TableNames()) entries.push_back({"", std::move(name)});
  }
  std::vector<TObject> objects;
  objects.reserve(entries.size());
  for (auto& e : entries) {
    TObject o;
    o.Name = EmissionName(e);
    o.Entry = std::move(e);
    objects.push_back(std::move(o));
  }
  return objects;
}

void TCustomMyDumpProcessor::DetectViews(std::vector<TObject>& objects) {
  if (objects.empty() || source_->ServerMajorVersion() < 5) return;
  const TableEntry& first = objects.front().Entry;
  const std::string database = first.database.empty() ? source_->Database() : first.database;
  std::string sql = "SHOW TABLE STATUS FROM " + quote_name(database, request_->options.QuoteNames);
  if (from_table_names_) {
    // String literals escaped as the server reads them, so a name with a
    // quote or a backslash is looked up as itself.
    std::string list;
    for (const auto& o : objects) {
      if (!list.empty()) list += ',';
      append_quoted(list, o.Entry.name, source_->BackslashEscapes());
    }
    sql += "\r\nWHERE NAME IN (" + list + ")";
  }
  // The status rows, reduced to what the dump needs: name, whether the
  // engine is empty or NULL (a view), and the row estimate.
  struct StatusRow {
    std::string name;
    bool view = false;
    std::int64_t rows = 0;
  };
  std::vector<StatusRow> status;
  DumpRowReader& rows = source_->Rows();
  rows.Execute(sql);
  const int name_col = column_index(rows.Columns(), "Name");
  const int engine_col = column_index(rows.Columns(), "Engine");
  const int rows_col = column_index(rows.Columns(), "Rows");
  if (name_col < 0 || engine_col < 0) throw EDumpError("Unexpected result of \"" + sql + "\"");
  while (rows.Next()) {
    StatusRow row{std::string(rows.Value(name_col)),
                  rows.IsNull(engine_col) || rows.Value(engine_col).empty()};
    if (rows_col >= 0 && !rows.IsNull(rows_col)) {
      const std::string_view text = rows.Value(rows_col);
      std::from_chars(text.data(), text.data() + text.size(), row.rows);
    }
    status.push_back(std::move(row));
  }
  rows.Close();
  // The server compares names without letter case here, so the table Kayit
  // and the view kayit both answer: the row of the very name decides, and
  // only when there is none a row that differs in letter case.
  for (auto& o : objects) {
    const StatusRow* match = nullptr;
    for (const auto& row : status) {
      if (row.name == o.Entry.name) {
        match = &row;
        break;
      }
      if (!match && platform::equal_ignoring_ascii_case(row.name, o.Entry.name)) match = &row;
    }
    if (match) {
      o.IsView = match->view;
      o.RowsEstimate = match->rows;
    }
  }
}

void TCustomMyDumpProcessor::BackupObjects() {
  const auto& req = request_->objects;
  tables_ = req.Contains(TMyDumpObject::doTables);
  data_ = req.Contains(TMyDumpObject::doData);
  views_ = req.Contains(TMyDumpObject::doViews);
  // Servers before version 5 have no routines, triggers or events.
  const bool v5 = source_->ServerMajorVersion() >= 5;
  routines_ = v5 && req.Contains(TMyDumpObject::doStoredProcs);
  triggers_ = v5 && req.Contains(TMyDumpObject::doTriggers);
  events_ = v5 && req.Contains(TMyDumpObject::doEvents);
  privileges_.reset();
  script_db_collation_.clear();

  // Routines come before the views that may call them; triggers after
  // every table's rows, so they do not fire while the script loads; events
  // last.
  if (routines_) BackupRoutines();
  if (tables_ || data_ || views_) {
    std::vector<TObject> objects = ObjectList();
    DetectViews(objects);
    const int count = static_cast<int>(objects.size());
    int num = 0;
    // Tables first, in list order.
    std::vector<const TObject*> views;
    for (const auto& o : objects) {
      if (o.IsView) {
        if (views_) views.push_back(&o);
        continue;
      }
      if (!tables_ && !data_) continue;
      Progress(o, num, count, 0);
      if (tables_) BackupStructure(o);
      if (data_) BackupData(o, num, count);
      written_.push_back(o.Entry);
      Progress(o, num, count, 100);
      ++num;
    }
    // Then the views, in list order.
    BackupViews(views);
  }
  if (triggers_) BackupTriggers();
  if (events_) BackupEvents();
  SetBackDatabaseCollation();
}

void TCustomMyDumpProcessor::Progress(const TObject& o, int num, int count, int percent) {
  if (request_->progress) request_->progress(o.Entry.name, num, count, percent);
}

void TCustomMyDumpProcessor::BackupStructure(const TObject& o) {
  const auto& opt = request_->options;
  if (opt.GenerateHeader) {
    EmitText("-- \r\n-- Table structure for table " + comment_text(o.Name) + "\r\n-- \r\n\r\n");
  }
  if (opt.AddDrop) Emit("DROP TABLE IF EXISTS " + o.Name + ";");
  DumpRowReader& rows = source_->Rows();
  const std::string sql = "SHOW CREATE TABLE " + o.Name;
  rows.Execute(sql);
  std::string create(first_value(rows, 1, sql));
  rows.Close();
  if (!o.Entry.database.empty() && o.Entry.database != source_->Database()) {
    // The server names the table without its database: qualify it.
    const std::string bare = backticked(o.Entry.name);
    const size_t at = create.find(bare);
    if (at != std::string::npos) create.replace(at, bare.size(), o.Name);
  }
  create += ';';
  emit_statement_text(*sink_, create);
  Emit("");
}

void TCustomMyDumpProcessor::BackupData(const TObject& o, int num, int total) {
  const auto& opt = request_->options;
  if (opt.GenerateHeader) {
    EmitText("-- \r\n-- Dumping data for table " + comment_text(o.Name) + "\r\n-- \r\n\r\n");
  }
  if (opt.AddDrop && !tables_) Emit("TRUNCATE TABLE " + o.Name + ";");

  // The rows are not counted first: counting reads a transactional table
  // whole, nearly as long as dumping it. An empty table is known by its
  // first row not coming.
  if (!WriteRows(o, num, total)) {
    if (opt.AddDrop && !tables_) Emit("");
    return;
  }
  if (opt.DisableKeys) Emit("/*!40000 ALTER TABLE " + o.Name + " ENABLE KEYS */;");
  if (opt.AddLock && !opt.UseDelayedIns) Emit("UNLOCK TABLES;");
  Emit("");
}

std::vector<TCustomMyDumpProcessor::TDataColumn> TCustomMyDumpProcessor::DataColumns(
    const TObject& o) {
  DumpRowReader& rows = source_->Rows();
  const std::string sql = "SHOW COLUMNS FROM " + o.Name;
  rows.Execute(sql);
  const int field_col = column_index(rows.Columns(), "Field");
  const int type_col = column_index(rows.Columns(), "Type");
  const int extra_col = column_index(rows.Columns(), "Extra");
  if (field_col < 0 || type_col < 0 || extra_col < 0)
    throw EDumpError("Unexpected result of \"" + sql + "\"");
  std::vector<TDataColumn> columns;
  while (rows.Next()) {
    // Generated columns say so in Extra: "VIRTUAL GENERATED", "STORED
    // GENERATED" (MySQL 5.7, MariaDB 10.2 on), "VIRTUAL" or "PERSISTENT"
    // (older MariaDB). DEFAULT_GENERATED is one word and an ordinary column.
    const std::string_view extra = rows.IsNull(extra_col) ? "" : rows.Value(extra_col);
    if (has_word(extra, "VIRTUAL") || has_word(extra, "STORED") || has_word(extra, "PERSISTENT"))
      continue;
    columns.push_back({std::string(rows.Value(field_col)),
                       platform::starts_with_ignoring_ascii_case(rows.Value(type_col), "float")});
  }
  rows.Close();
  if (columns.empty()) throw EDumpError("No stored columns in " + o.Name);
  return columns;
}

bool TCustomMyDumpProcessor::WriteRows(const TObject& o, int num, int total) {
  const auto& opt = request_->options;
  // The statements name their columns, so INVISIBLE columns are read and
  // written and generated ones are left out of both.
  const std::vector<TDataColumn> data_columns = DataColumns(o);
  std::string select = "SELECT ";
  std::string header = verb(opt) + o.Name + "(";
  for (size_t i = 0; i < data_columns.size(); ++i) {
    const std::string name = quote_name(data_columns[i].Name, true);
    if (i) {
      select += ',';
      header += ", ";
    }
    // A FLOAT's text has six digits; as a DOUBLE it has all that parse back
    // to the same stored value.
    select += data_columns[i].Float ? name + "+0e0" : name;
    header += quote_name(data_columns[i].Name, opt.QuoteNames);
  }
  header += ") VALUES";
  DumpRowReader& rows = source_->Rows();
  rows.Execute(select + " FROM " + o.Name);
  const std::vector<DumpColumn>& columns = rows.Columns();
  if (columns.size() != data_columns.size())
    throw EDumpError("Unexpected result of \"" + select + " FROM " + o.Name + "\"");

  std::vector<LiteralPlan> plans;
  plans.reserve(columns.size());
  for (const auto& c : columns) plans.push_back(literal_plan(c, opt.HexBlob, opt.FieldsAsString));
  const bool backslashes = source_->BackslashEscapes();

  bool more = rows.Next();
  if (!more) {
    rows.Close();
    return false;
  }
  if (opt.AddLock && !opt.UseDelayedIns) Emit("LOCK TABLES " + o.Name + " WRITE;");
  if (opt.DisableKeys) Emit("/*!40000 ALTER TABLE " + o.Name + " DISABLE KEYS */;");
  InsertBuilder builder(*sink_, opt.UseExtSyntax, opt.CommitBatchSize, std::move(header));
  std::int64_t written = 0;
  int percent = 0;
  while (more) {
    // A run cancelled from the window stops between two rows.
    platform::throw_if_cancelled();
    std::string& line = builder.BeginRow();
    line += " (";
    for (size_t i = 0; i < plans.size(); ++i) {
      if (i) line += ',';
      append_literal(line, plans[i], rows.Value(i), rows.IsNull(i), backslashes);
    }
    line += ')';
    // The row is copied into its line; only now may the reader move on.
    more = rows.Next();
    builder.EndRow(!more);
    ++written;
    if (request_->progress) {
      // The estimate may be short of the rows that come; 100 is reported
      // once the object is complete.
      const std::int64_t expected = std::max<std::int64_t>(o.RowsEstimate, 1);
      const int p = static_cast<int>(std::min<std::int64_t>(99, written * 100 / expected));
      if (more && p != percent) Progress(o, num, total, percent = p);
    }
  }
  rows.Close();
  return true;
}

}  // namespace dump
