#include "sqlite_queue.h"

#include <sqlite3.h>

#include <cstring>

namespace zeb::bench {

SqliteQueue::SqliteQueue(const std::string& path) {
  if (sqlite3_open(path.c_str(), &db_) != SQLITE_OK) {
    fail("open");
    return;
  }
  bool ok = exec("PRAGMA journal_mode=WAL") && exec("PRAGMA synchronous=NORMAL") &&
            exec("CREATE TABLE IF NOT EXISTS records (id INTEGER PRIMARY KEY, record BLOB NOT NULL)") &&
            exec("CREATE TABLE IF NOT EXISTS cursors (follower TEXT PRIMARY KEY, position INTEGER NOT NULL)");
  if (!ok) return;
  if (sqlite3_prepare_v2(db_, "INSERT INTO records (record) VALUES (?)", -1, &insert_, nullptr) != SQLITE_OK ||
      sqlite3_prepare_v2(db_, "SELECT id, record FROM records WHERE id > ? ORDER BY id LIMIT 1", -1,
                         &next_, nullptr) != SQLITE_OK ||
      sqlite3_prepare_v2(db_, "UPDATE cursors SET position = ? WHERE follower = ?", -1,
                         &move_, nullptr) != SQLITE_OK)
    fail("prepare");
}

SqliteQueue::~SqliteQueue() {
  sqlite3_finalize(insert_);
  sqlite3_finalize(next_);
  sqlite3_finalize(move_);
  sqlite3_close(db_);
}

bool SqliteQueue::exec(const char* sql) {
  return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK || fail(sql);
}

bool SqliteQueue::fail(const char* what) {
  if (error_.empty()) error_ = std::string(what) + ": " + (db_ ? sqlite3_errmsg(db_) : "no database");
  return false;
}

bool SqliteQueue::fill(int32_t count) {
  TradeRecord record = {};
  if (!exec("BEGIN")) return false;
  for (int32_t n = 0; n < count; ++n)
    if (!publish(record)) return false;
  return exec("COMMIT");
}

bool SqliteQueue::join(const char* follower) {
  sqlite3_stmt* add = nullptr;
  bool ok = sqlite3_prepare_v2(db_, "INSERT OR IGNORE INTO cursors (follower, position) VALUES (?, 0)", -1,
                               &add, nullptr) == SQLITE_OK &&
            sqlite3_bind_text(add, 1, follower, -1, SQLITE_STATIC) == SQLITE_OK &&
            sqlite3_step(add) == SQLITE_DONE;
  sqlite3_finalize(add);
  return ok || fail("add follower");
}

bool SqliteQueue::publish(const TradeRecord& record) {
  sqlite3_bind_blob(insert_, 1, &record, sizeof record, SQLITE_STATIC);
  bool ok = sqlite3_step(insert_) == SQLITE_DONE;
  sqlite3_reset(insert_);
  return ok || fail("insert");
}

bool SqliteQueue::consume(const char* follower, int32_t& cursor, TradeRecord& record) {
  sqlite3_bind_int(next_, 1, cursor);
  bool found = sqlite3_step(next_) == SQLITE_ROW &&
               sqlite3_column_bytes(next_, 1) == static_cast<int>(sizeof record);
  if (found) {
    std::memcpy(&record, sqlite3_column_blob(next_, 1), sizeof record);
    cursor = sqlite3_column_int(next_, 0);
  }
  sqlite3_reset(next_);
  if (!found) return fail("select next");
  sqlite3_bind_int(move_, 1, cursor);
  sqlite3_bind_text(move_, 2, follower, -1, SQLITE_STATIC);
  bool ok = sqlite3_step(move_) == SQLITE_DONE && sqlite3_changes(db_) == 1;
  sqlite3_reset(move_);
  return ok || fail("update cursor");
}

}  // namespace zeb::bench
