#pragma once

namespace tools {

// Commands that watch a channel run until Ctrl-C (or a plain kill). The
// signal only raises a flag, so the command stops between two records and
// never between acting on a record and committing it.
void stop_on_interrupt();
bool interrupted();

// How a watching command ends: 0 when it stopped by itself, 128 plus the
// signal's number when one stopped it (130 for Ctrl-C), as shells expect.
int stop_status();

// The pause between two polls of a channel that had nothing new.
void pause_between_polls();

}  // namespace tools
