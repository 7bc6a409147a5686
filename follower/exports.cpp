// The follower library's exported functions: a thin frame over FollowerState.
#include "follower.h"
#include "zeb/zebfollower.h"

namespace {

zeb::FollowerState state;

const zeb::TradeRecord& received() {
  zeb::error_reset(state.error);
  return state.received;
}

}  // namespace

int ZEB_CALL Init(const char* root, const char* follower, const char* master) {
  return zeb::follower_init(state, root, follower, master);
}

int ZEB_CALL Read() {
  return zeb::follower_read(state);
}

int ZEB_CALL Commit() {
  return zeb::follower_commit(state);
}

int ZEB_CALL GetCmd() { return received().cmd; }
int ZEB_CALL GetTicket() { return received().ticket; }
int ZEB_CALL GetType() { return received().type; }
const char* ZEB_CALL GetSymbol() { return received().symbol; }
double ZEB_CALL GetLot() { return received().lot; }
double ZEB_CALL GetOpenPrice() { return received().open_price; }
double ZEB_CALL GetSL() { return received().sl; }
double ZEB_CALL GetTP() { return received().tp; }
double ZEB_CALL GetClosePrice() { return received().close_price; }
int ZEB_CALL GetTimeLocal() { return received().time_local; }
int ZEB_CALL GetTimeServer() { return received().time_server; }

int ZEB_CALL ErrorCode() { return state.error.code; }
const char* ZEB_CALL ErrorMsg() { return state.error.message; }
