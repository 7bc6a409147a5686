#include "channel_id.h"

namespace zebbridge {

namespace {

bool allowed(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
}

}  // namespace

std::string channel_id_problem(const std::string& id) {
  if (id.empty()) return "channel id is empty";
  if (id.size() > kMaxChannelIdLength)
    return "channel id is too long (" + std::to_string(id.size()) + " characters, at most " +
           std::to_string(kMaxChannelIdLength) + ")";
  for (char c : id)
    if (!allowed(c))
      return "channel id may hold only letters, digits, '_' and '-': " + id;
  return "";
}

std::string channel_id_of_master(const std::string& master) {
  static const char kDigits[] = "0123456789abcdef";
  std::string id;
  for (unsigned char c : master) {
    id += kDigits[c >> 4];
    id += kDigits[c & 15];
  }
  return id;
}

}  // namespace zebbridge
