#pragma once

namespace tools {

// Commands that watch a channel run until Ctrl-C (or a plain kill; on
// Windows also the console closing, the user logging off or the machine
// shutting down). The operating system's handler only raises a flag, so the
// command stops between two records and never between acting on a record
// and committing it.
void stop_on_interrupt();
bool interrupted();

// Raises the flag; `signal` is the number stop_status reports. The
// operating system's handler calls it, from a signal handler or from a
// thread of its own.
void request_stop(int signal);

// How a watching command ends: 0 when it stopped by itself, 128 plus the
// signal's number when one stopped it (130 for Ctrl-C), as shells expect.
int stop_status();

// The pause between two polls of a channel that had nothing new.
void pause_between_polls();

// Lets the calling thread's short pauses end about when asked, for a loop
// that polls every few tens of microseconds while busy.
void sharpen_pauses();

}  // namespace tools
