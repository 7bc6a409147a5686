// The parts of libraries.h that hold on every system.
#include "libraries.h"

#include "platform/platform.h"

namespace zeb::test {

void stage(const zebmaster_api& api, const TradeRecord& r) {
  api.SetCmd(r.cmd);
  api.SetTicket(r.ticket);
  api.SetType(r.type);
  api.SetSymbol(r.symbol);
  api.SetLot(r.lot);
  api.SetOpenPrice(r.open_price);
  api.SetSL(r.sl);
  api.SetTP(r.tp);
  api.SetClosePrice(r.close_price);
  api.SetTimeLocal(r.time_local);
  api.SetTimeServer(r.time_server);
}

TradeRecord received(const zebfollower_api& api) {
  TradeRecord r = {};
  r.cmd = api.GetCmd();
  r.ticket = api.GetTicket();
  r.type = api.GetType();
  record_set_symbol(r, api.GetSymbol());
  r.lot = api.GetLot();
  r.open_price = api.GetOpenPrice();
  r.sl = api.GetSL();
  r.tp = api.GetTP();
  r.close_price = api.GetClosePrice();
  r.time_local = api.GetTimeLocal();
  r.time_server = api.GetTimeServer();
  return r;
}

int live_counter(const std::string& master) {
  int32_t value = 0;
  return platform::counter_peek(("zeb_" + master).c_str(), &value) == platform::Peek::live ? value : -1;
}

}  // namespace zeb::test
