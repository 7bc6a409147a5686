#pragma once

#include "channel_paths.h"
#include "error_state.h"

namespace zeb {

// Checks of the strings an Init call receives. Each reports its refusal as
// "Init: ..." in `error` and returns false; nothing is copied until all pass.

// The root may be any path that fits its buffer.
bool check_root(ErrorState& error, const char* root);

// A master or follower name becomes one path component and part of the shared
// counter's name, so it must be a plain component: not empty, not "." or "..",
// no '/' or '\'. Nor may it be a name Windows would not keep as itself: no
// control characters or any of < > : " | ? *, no trailing dot or space, no
// device name (CON, PRN, AUX, NUL, COM1-COM9, LPT1-LPT9, in any case, with or
// without an extension). `role` names the argument in the report ("master name").
bool check_name(ErrorState& error, const char* name, const char* role);

}  // namespace zeb
