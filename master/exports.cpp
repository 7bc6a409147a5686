// The master library's exported functions: a thin frame over MasterState.
#include "master.h"
#include "zeb/zebmaster.h"

namespace {

zeb::MasterState state;

zeb::TradeRecord& staged() {
  zeb::error_reset(state.error);
  return state.staged;
}

}  // namespace

int ZEB_CALL Init(const char* root, const char* master) {
  return zeb::master_init(state, root, master);
}

int ZEB_CALL Write() {
  return zeb::master_write(state);
}

void ZEB_CALL SetCmd(int cmd) { staged().cmd = cmd; }
void ZEB_CALL SetTicket(int ticket) { staged().ticket = ticket; }
void ZEB_CALL SetType(int type) { staged().type = type; }
void ZEB_CALL SetSymbol(const char* symbol) { zeb::record_set_symbol(staged(), symbol); }
void ZEB_CALL SetLot(double lot) { staged().lot = lot; }
void ZEB_CALL SetOpenPrice(double price) { staged().open_price = price; }
void ZEB_CALL SetSL(double price) { staged().sl = price; }
void ZEB_CALL SetTP(double price) { staged().tp = price; }
void ZEB_CALL SetClosePrice(double price) { staged().close_price = price; }
void ZEB_CALL SetTimeLocal(int time) { staged().time_local = time; }
void ZEB_CALL SetTimeServer(int time) { staged().time_server = time; }

int ZEB_CALL ErrorCode() { return state.error.code; }
const char* ZEB_CALL ErrorMsg() { return state.error.message; }
