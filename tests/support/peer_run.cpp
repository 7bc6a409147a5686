#include "support/peer_run.h"

namespace zeb::test {

int start_peer_follower(const std::string& root, const std::string& name, const std::string& master, int count,
                        const std::string& log) {
  return spawn({ZEB_PEER, "follower", ZEB_FOLLOWER_LIBRARY, root, name, master, std::to_string(count), log});
}

PeerRun::PeerRun(const std::string& base, int count)
    : dir_(base), root_(dir_ / "root"), master_(unique_name("peer")), count_(count) {}

int PeerRun::start_master(int up_to) const {
  return spawn({ZEB_PEER, "master", ZEB_MASTER_LIBRARY, root_, master_,
                std::to_string(up_to > 0 ? up_to : count_), master_log()});
}

int PeerRun::start_follower(const std::string& name) const {
  return start_peer_follower(root_, name, master_, count_, log(name));
}

}  // namespace zeb::test
