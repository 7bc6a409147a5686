#pragma once

namespace zebctl {

// Commands that watch a channel run until Ctrl-C (or a plain kill). The
// signal only raises a flag, so the command stops between two records and
// never between acting on a record and committing it.
void stop_on_interrupt();
bool interrupted();

// The pause between two polls of a channel that had nothing new.
void pause_between_polls();

}  // namespace zebctl
