#pragma once

#include <cstdint>
#include <string>

#include "trade_record.h"

struct sqlite3;
struct sqlite3_stmt;

namespace zeb::bench {

// What users would pick instead of the channel for a persisted local queue:
// an SQLite database in WAL mode with synchronous=NORMAL, one table of
// 80-byte records and one row per follower cursor. Publishing is one INSERT,
// consuming is a select of the next row after the cursor and an update of
// the cursor, each in its own transaction.
class SqliteQueue {
 public:
  // Opens or creates the database; failures are reported by error().
  explicit SqliteQueue(const std::string& path);
  ~SqliteQueue();
  SqliteQueue(const SqliteQueue&) = delete;
  SqliteQueue& operator=(const SqliteQueue&) = delete;

  // Empty while every call has succeeded; otherwise what failed first.
  const std::string& error() const { return error_; }

  // Appends `count` records in one transaction, to give the table a size.
  bool fill(int32_t count);
  // Gives a follower its cursor row, if it has none yet.
  bool join(const char* follower);
  bool publish(const TradeRecord& record);
  // Loads the next record after the follower's cursor into `record` and
  // moves the cursor to it. False when there is none or a call failed.
  bool consume(const char* follower, int32_t& cursor, TradeRecord& record);

 private:
  bool exec(const char* sql);
  bool fail(const char* what);

  sqlite3* db_ = nullptr;
  sqlite3_stmt* insert_ = nullptr;
  sqlite3_stmt* next_ = nullptr;
  sqlite3_stmt* move_ = nullptr;
  std::string error_;
};

}  // namespace zeb::bench
