// The master library's exported functions: a thin frame over MasterState.
// Each runs whole under the library's lock, so a host's threads take turns.
#include "master.h"
#include "library_state.h"
#include "zeb/zebmaster.h"

namespace {

zeb::LibraryState<zeb::MasterState> library;
zeb::MasterState& state = library.get();

zeb::TradeRecord& staged() {
  zeb::error_reset(state.error);
  return state.staged;
}

}  // namespace

int ZEB_CALL Init(const char* root, const char* master) {
  zeb::LibraryGuard guard;
  return zeb::master_init(state, root, master) ? 1 : 0;
}

int ZEB_CALL Write() {
  zeb::LibraryGuard guard;
  return zeb::master_write(state) ? 1 : 0;
}

void ZEB_CALL SetCmd(int cmd) { zeb::LibraryGuard guard; staged().cmd = cmd; }
void ZEB_CALL SetTicket(int ticket) { zeb::LibraryGuard guard; staged().ticket = ticket; }
void ZEB_CALL SetType(int type) { zeb::LibraryGuard guard; staged().type = type; }
void ZEB_CALL SetSymbol(const char* symbol) {
  zeb::LibraryGuard guard;
  zeb::record_set_symbol(staged(), symbol);
}
void ZEB_CALL SetLot(double lot) { zeb::LibraryGuard guard; staged().lot = lot; }
void ZEB_CALL SetOpenPrice(double price) { zeb::LibraryGuard guard; staged().open_price = price; }
void ZEB_CALL SetSL(double price) { zeb::LibraryGuard guard; staged().sl = price; }
void ZEB_CALL SetTP(double price) { zeb::LibraryGuard guard; staged().tp = price; }
void ZEB_CALL SetClosePrice(double price) { zeb::LibraryGuard guard; staged().close_price = price; }
void ZEB_CALL SetTimeLocal(int time) { zeb::LibraryGuard guard; staged().time_local = time; }
void ZEB_CALL SetTimeServer(int time) { zeb::LibraryGuard guard; staged().time_server = time; }

int ZEB_CALL ErrorCode() { zeb::LibraryGuard guard; return state.error.code; }
const char* ZEB_CALL ErrorMsg() { zeb::LibraryGuard guard; return state.error.message; }
