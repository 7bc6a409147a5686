// libraries.h on POSIX systems: the .so files where the build put them
// (ZEB_MASTER_LIBRARY, ZEB_FOLLOWER_LIBRARY), their exports as nm lists them.
#include <dlfcn.h>
#include <link.h>

#include <cstdio>

#include "libraries.h"

namespace zeb::test {

// Calls need no check here: one calling convention serves every caller.
const char* load(zebmaster_api& api, bool) {
  return zebmaster_load(&api, ZEB_MASTER_LIBRARY);
}

const char* load(zebfollower_api& api, bool) {
  return zebfollower_load(&api, ZEB_FOLLOWER_LIBRARY);
}

std::set<std::string> exported_names(void* module) {
  link_map* map = nullptr;
  std::set<std::string> names;
  if (::dlinfo(module, RTLD_DI_LINKMAP, &map) != 0) return names;
  FILE* nm = ::popen((std::string("nm -D --defined-only ") + map->l_name).c_str(), "r");
  char line[512];
  while (nm != nullptr && std::fgets(line, sizeof line, nm) != nullptr) {
    char address[64], kind[8], name[256];
    if (std::sscanf(line, "%63s %7s %255s", address, kind, name) == 3) names.insert(name);
  }
  if (nm != nullptr) ::pclose(nm);
  return names;
}

}  // namespace zeb::test
