#pragma once

#include <windows.h>

#include <set>
#include <string>

#include "export_call.h"
#include "trade_record.h"

namespace zeb::wintest {

// A DLL loaded with zeb_dynload.h from the test program's own directory, where
// the build puts it. Unloading it and loading it again gives fresh library
// state, so each test starts from a just-loaded library.
class Dll {
 public:
  explicit Dll(const char* file_name);
  ~Dll();
  Dll(const Dll&) = delete;
  Dll& operator=(const Dll&) = delete;
  HMODULE module() const { return module_; }

 private:
  HMODULE module_;
};

// The names in a loaded DLL's export table.
std::set<std::string> export_names(HMODULE module);

constexpr const char* kMasterDll = "zebmaster.dll";
constexpr const char* kFollowerDll = "zebfollower.dll";

// Every export of zebmaster.dll, bound by name.
struct MasterApi {
  explicit MasterApi(const Dll& dll);
  Export<int(const char*, const char*)> Init;
  Export<int()> Write;
  Export<void(int)> SetCmd, SetTicket, SetType;
  Export<void(const char*)> SetSymbol;
  Export<void(double)> SetLot, SetOpenPrice, SetSL, SetTP, SetClosePrice;
  Export<void(int)> SetTimeLocal, SetTimeServer;
  Export<int()> ErrorCode;
  Export<const char*()> ErrorMsg;
};

// Every export of zebfollower.dll, bound by name.
struct FollowerApi {
  explicit FollowerApi(const Dll& dll);
  Export<int(const char*, const char*, const char*)> Init;
  Export<int()> Read, Commit;
  Export<int()> GetCmd, GetTicket, GetType;
  Export<const char*()> GetSymbol;
  Export<double()> GetLot, GetOpenPrice, GetSL, GetTP, GetClosePrice;
  Export<int()> GetTimeLocal, GetTimeServer;
  Export<int()> ErrorCode;
  Export<const char*()> ErrorMsg;
};

// Stages every field of the record through the setters.
void stage(const MasterApi& api, const TradeRecord& record);
// The record the getters show now, field by field.
TradeRecord received(const FollowerApi& api);

// A master library loaded for one test or process.
struct Master {
  Dll dll{kMasterDll};
  MasterApi api{dll};
};

// A follower library loaded for one test or process.
struct Follower {
  Dll dll{kFollowerDll};
  FollowerApi api{dll};
};

}  // namespace zeb::wintest
