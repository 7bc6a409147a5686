#include "library_record.h"

namespace tools {

void stage_record(const zebmaster_api& master, const zeb::TradeRecord& record) {
  master.SetCmd(record.cmd);
  master.SetTicket(record.ticket);
  master.SetType(record.type);
  master.SetSymbol(record.symbol);
  master.SetLot(record.lot);
  master.SetOpenPrice(record.open_price);
  master.SetSL(record.sl);
  master.SetTP(record.tp);
  master.SetClosePrice(record.close_price);
  master.SetTimeLocal(record.time_local);
  master.SetTimeServer(record.time_server);
}

zeb::TradeRecord received_record(const zebfollower_api& follower) {
  zeb::TradeRecord record = {};
  record.cmd = follower.GetCmd();
  record.ticket = follower.GetTicket();
  record.type = follower.GetType();
  zeb::record_set_symbol(record, follower.GetSymbol());
  record.lot = follower.GetLot();
  record.open_price = follower.GetOpenPrice();
  record.sl = follower.GetSL();
  record.tp = follower.GetTP();
  record.close_price = follower.GetClosePrice();
  record.time_local = follower.GetTimeLocal();
  record.time_server = follower.GetTimeServer();
  return record;
}

}  // namespace tools
