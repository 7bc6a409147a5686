#pragma once

#include <cstdint>
#include <string>

#include "trade_record.h"

namespace zebctl {

// Standard output, checked: a write error (a full disk, a closed pipe) ends
// the command as a failure, so nothing is taken as printed that was not.

// Writes one line and flushes it at once: a watching command's output may
// be a pipe, and a follower commits only what has been written.
void print_line(const std::string& line);

// Prints a record as one line of text or JSON (which names its file, as
// show --json does), as print_line does.
void print_record(int32_t number, const zeb::TradeRecord& record, bool json, const std::string& file);

// A failure once standard output leads nowhere, checked by watching commands
// while they wait, so `zebctl tail | head -3` ends with head.
void check_output_open();

// Flushes whatever is buffered; a failure when anything written so far failed.
void finish_output();

}  // namespace zebctl
