#include "libraries.h"

#include <gtest/gtest.h>

#include "win_support.h"
#include "zeb/zeb_dynload.h"

namespace zeb::wintest {

Dll::Dll(const char* file_name)
    : module_(static_cast<HMODULE>(zeb_dynload_open((program_directory() + "\\" + file_name).c_str()))) {
  EXPECT_NE(module_, nullptr) << file_name << ": error " << ::GetLastError();
}

Dll::~Dll() {
  zeb_dynload_close(module_);
}

std::set<std::string> export_names(HMODULE module) {
  auto base = reinterpret_cast<const unsigned char*>(module);
  auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  auto nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& entry = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  auto directory = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + entry.VirtualAddress);
  auto names = reinterpret_cast<const DWORD*>(base + directory->AddressOfNames);
  std::set<std::string> result;
  for (DWORD i = 0; i < directory->NumberOfNames; ++i)
    result.insert(reinterpret_cast<const char*>(base + names[i]));
  return result;
}

MasterApi::MasterApi(const Dll& dll)
    : Init(dll.module(), "Init"),
      Write(dll.module(), "Write"),
      SetCmd(dll.module(), "SetCmd"),
      SetTicket(dll.module(), "SetTicket"),
      SetType(dll.module(), "SetType"),
      SetSymbol(dll.module(), "SetSymbol"),
      SetLot(dll.module(), "SetLot"),
      SetOpenPrice(dll.module(), "SetOpenPrice"),
      SetSL(dll.module(), "SetSL"),
      SetTP(dll.module(), "SetTP"),
      SetClosePrice(dll.module(), "SetClosePrice"),
      SetTimeLocal(dll.module(), "SetTimeLocal"),
      SetTimeServer(dll.module(), "SetTimeServer"),
      ErrorCode(dll.module(), "ErrorCode"),
      ErrorMsg(dll.module(), "ErrorMsg") {}

FollowerApi::FollowerApi(const Dll& dll)
    : Init(dll.module(), "Init"),
      Read(dll.module(), "Read"),
      Commit(dll.module(), "Commit"),
      GetCmd(dll.module(), "GetCmd"),
      GetTicket(dll.module(), "GetTicket"),
      GetType(dll.module(), "GetType"),
      GetSymbol(dll.module(), "GetSymbol"),
      GetLot(dll.module(), "GetLot"),
      GetOpenPrice(dll.module(), "GetOpenPrice"),
      GetSL(dll.module(), "GetSL"),
      GetTP(dll.module(), "GetTP"),
      GetClosePrice(dll.module(), "GetClosePrice"),
      GetTimeLocal(dll.module(), "GetTimeLocal"),
      GetTimeServer(dll.module(), "GetTimeServer"),
      ErrorCode(dll.module(), "ErrorCode"),
      ErrorMsg(dll.module(), "ErrorMsg") {}

void stage(const MasterApi& api, const TradeRecord& r) {
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

TradeRecord received(const FollowerApi& api) {
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

}  // namespace zeb::wintest
