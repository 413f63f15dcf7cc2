#include "dump/insert_builder.h"

#include <gtest/gtest.h>

using namespace dump;
using platform::LineList;

namespace {

// Feeds rows of the given text lengths (each " (" + x... + ")") and returns the
// emitted lines.
LineList layout(const std::string& header, const std::vector<size_t>& row_lengths, bool ext,
                int batch = 0) {
  LineList lines;
  StringsSink sink(lines);
  InsertBuilder b(sink, ext, batch, header);
  for (size_t i = 0; i < row_lengths.size(); ++i) {
    std::string& r = b.BeginRow();
    r += " (";
    r.append(row_lengths[i] - 3, 'x');
    r += ')';
    b.EndRow(i + 1 == row_lengths.size());
  }
  return lines;
}

std::string row(size_t length, char end) { return " (" + std::string(length - 3, 'x') + ")" + end; }

}  // namespace

TEST(InsertBuilder, LongRowEndsItsStatement) {
  const std::string h = "INSERT INTO musteri VALUES";  // 26 characters
  ASSERT_EQ(h.size(), 26u);
  // 5,451 characters still leave room for the next row; 5,452 end the statement.
  EXPECT_EQ(layout(h, {5451, 5451}, true), (LineList{h, row(5451, ','), row(5451, ';')}));
  EXPECT_EQ(layout(h, {5452, 10}, true), (LineList{h, row(5452, ';'), h, row(10, ';')}));
}

TEST(InsertBuilder, ManyShortRowsSplitAtTheRunningLength) {
  const std::string h = "INSERT INTO t VALUES";
  const size_t n = 5000, len = 10;
  LineList lines = layout(h, std::vector<size_t>(n, len), true);
  // Recompute the rule independently: statement length counts 2 per line end.
  size_t rows_seen = 0, stmt_len = 0;
  bool expect_header = true;
  for (const auto& l : lines) {
    if (expect_header) {
      ASSERT_EQ(l, h);
      stmt_len = h.size() + 2;
      expect_header = false;
      continue;
    }
    ++rows_seen;
    stmt_len += len + 2;
    const bool ends = rows_seen == n || stmt_len > 16384 - 2 * len;
    ASSERT_EQ(l, row(len, ends ? ';' : ',')) << "row " << rows_seen;
    if (ends) {
      // Every statement stays within about 16 KiB.
      EXPECT_LE(stmt_len, 16384u);
      expect_header = true;
    }
  }
  EXPECT_EQ(rows_seen, n);
  EXPECT_EQ(lines.size(), n + 4);  // 1,362 rows of 12 characters per statement
}

TEST(InsertBuilder, CommitBatchSizeFraming) {
  const std::string h = "INSERT INTO t VALUES";
  // Extended form: every statement framed, the count itself not used.
  EXPECT_EQ(layout(h, {5, 5, 6000, 5}, true, 2),
            (LineList{"BEGIN;", h, row(5, ','), row(5, ','), row(6000, ';') + "\r\nCOMMIT;",
                      "BEGIN;", h, row(5, ';') + "\r\nCOMMIT;"}));
  // One-row form: batches of N rows; a last partial batch is committed too.
  EXPECT_EQ(layout(h, {5, 5, 5}, false, 2),
            (LineList{"BEGIN;", h + row(5, ';'), h + row(5, ';'), "COMMIT;", "BEGIN;",
                      h + row(5, ';'), "COMMIT;"}));
  EXPECT_EQ(layout(h, {5, 5}, false, 2),
            (LineList{"BEGIN;", h + row(5, ';'), h + row(5, ';'), "COMMIT;"}));
  EXPECT_EQ(layout(h, {5, 5}, false, 0), (LineList{h + row(5, ';'), h + row(5, ';')}));
  EXPECT_EQ(layout(h, {5}, true, 0), (LineList{h, row(5, ';')}));
}
