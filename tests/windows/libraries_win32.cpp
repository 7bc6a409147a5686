// libraries.h on Windows: the DLLs beside the test program, where the build
// puts them, called through the stack check of export_call.h.
#include "support/libraries.h"

#include "export_call.h"
#include "win_support.h"

namespace zeb::test {

using wintest::check_export;

// Each export of the struct, by the name of its member.
#define ZEB_CHECK_EXPORT(type, name) check_export<&type::name>(api.name, #name)

const char* load(zebmaster_api& api, bool checked) {
  const char* missing = zebmaster_load(&api, (wintest::program_directory() + "\\zebmaster.dll").c_str());
  if (missing != nullptr || !checked) return missing;
  ZEB_CHECK_EXPORT(zebmaster_api, Init);
  ZEB_CHECK_EXPORT(zebmaster_api, Write);
  ZEB_CHECK_EXPORT(zebmaster_api, SetCmd);
  ZEB_CHECK_EXPORT(zebmaster_api, SetTicket);
  ZEB_CHECK_EXPORT(zebmaster_api, SetType);
  ZEB_CHECK_EXPORT(zebmaster_api, SetSymbol);
  ZEB_CHECK_EXPORT(zebmaster_api, SetLot);
  ZEB_CHECK_EXPORT(zebmaster_api, SetOpenPrice);
  ZEB_CHECK_EXPORT(zebmaster_api, SetSL);
  ZEB_CHECK_EXPORT(zebmaster_api, SetTP);
  ZEB_CHECK_EXPORT(zebmaster_api, SetClosePrice);
  ZEB_CHECK_EXPORT(zebmaster_api, SetTimeLocal);
  ZEB_CHECK_EXPORT(zebmaster_api, SetTimeServer);
  ZEB_CHECK_EXPORT(zebmaster_api, ErrorCode);
  ZEB_CHECK_EXPORT(zebmaster_api, ErrorMsg);
  return nullptr;
}

const char* load(zebfollower_api& api, bool checked) {
  const char* missing = zebfollower_load(&api, (wintest::program_directory() + "\\zebfollower.dll").c_str());
  if (missing != nullptr || !checked) return missing;
  ZEB_CHECK_EXPORT(zebfollower_api, Init);
  ZEB_CHECK_EXPORT(zebfollower_api, Read);
  ZEB_CHECK_EXPORT(zebfollower_api, Commit);
  ZEB_CHECK_EXPORT(zebfollower_api, GetCmd);
  ZEB_CHECK_EXPORT(zebfollower_api, GetTicket);
  ZEB_CHECK_EXPORT(zebfollower_api, GetType);
  ZEB_CHECK_EXPORT(zebfollower_api, GetSymbol);
  ZEB_CHECK_EXPORT(zebfollower_api, GetLot);
  ZEB_CHECK_EXPORT(zebfollower_api, GetOpenPrice);
  ZEB_CHECK_EXPORT(zebfollower_api, GetSL);
  ZEB_CHECK_EXPORT(zebfollower_api, GetTP);
  ZEB_CHECK_EXPORT(zebfollower_api, GetClosePrice);
  ZEB_CHECK_EXPORT(zebfollower_api, GetTimeLocal);
  ZEB_CHECK_EXPORT(zebfollower_api, GetTimeServer);
  ZEB_CHECK_EXPORT(zebfollower_api, ErrorCode);
  ZEB_CHECK_EXPORT(zebfollower_api, ErrorMsg);
  return nullptr;
}

std::set<std::string> exported_names(void* module) {
  auto base = static_cast<const unsigned char*>(module);
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

}  // namespace zeb::test
