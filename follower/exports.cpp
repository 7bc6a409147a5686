// The follower library's exported functions: a thin frame over FollowerState.
// Each runs whole under the library's lock, so a host's threads take turns.
#include "follower.h"
#include "library_state.h"
#include "zeb/zebfollower.h"

namespace {

zeb::LibraryState<zeb::FollowerState> library;
zeb::FollowerState& state = library.get();

const zeb::TradeRecord& received() {
  zeb::error_reset(state.error);
  return state.received;
}

}  // namespace

int ZEB_CALL Init(const char* root, const char* follower, const char* master) {
  zeb::LibraryGuard guard;
  return zeb::follower_init(state, root, follower, master) ? 1 : 0;
}

int ZEB_CALL Read() {
  zeb::LibraryGuard guard;
  return zeb::follower_read(state) ? 1 : 0;
}

int ZEB_CALL Commit() {
  zeb::LibraryGuard guard;
  return zeb::follower_commit(state) ? 1 : 0;
}

int ZEB_CALL GetCmd() { zeb::LibraryGuard guard; return received().cmd; }
int ZEB_CALL GetTicket() { zeb::LibraryGuard guard; return received().ticket; }
int ZEB_CALL GetType() { zeb::LibraryGuard guard; return received().type; }
const char* ZEB_CALL GetSymbol() { zeb::LibraryGuard guard; return received().symbol; }
double ZEB_CALL GetLot() { zeb::LibraryGuard guard; return received().lot; }
double ZEB_CALL GetOpenPrice() { zeb::LibraryGuard guard; return received().open_price; }
double ZEB_CALL GetSL() { zeb::LibraryGuard guard; return received().sl; }
double ZEB_CALL GetTP() { zeb::LibraryGuard guard; return received().tp; }
double ZEB_CALL GetClosePrice() { zeb::LibraryGuard guard; return received().close_price; }
int ZEB_CALL GetTimeLocal() { zeb::LibraryGuard guard; return received().time_local; }
int ZEB_CALL GetTimeServer() { zeb::LibraryGuard guard; return received().time_server; }

int ZEB_CALL ErrorCode() { zeb::LibraryGuard guard; return state.error.code; }
const char* ZEB_CALL ErrorMsg() { zeb::LibraryGuard guard; return state.error.message; }
