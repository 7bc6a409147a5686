#pragma once

#include "zeb/zeb_dynload.h"

namespace zebctl {

// The zeb libraries loaded by file name through zeb_dynload.h, the loader
// hosts receive, every export bound. A library that cannot be loaded or
// lacks an export ends the command with a failure naming it.
class MasterLibrary {
 public:
  explicit MasterLibrary(const char* file_name);
  ~MasterLibrary() { zebmaster_unload(&api_); }
  MasterLibrary(const MasterLibrary&) = delete;
  MasterLibrary& operator=(const MasterLibrary&) = delete;
  const zebmaster_api& operator*() const { return api_; }
  const zebmaster_api* operator->() const { return &api_; }

 private:
  zebmaster_api api_;
};

class FollowerLibrary {
 public:
  explicit FollowerLibrary(const char* file_name);
  ~FollowerLibrary() { zebfollower_unload(&api_); }
  FollowerLibrary(const FollowerLibrary&) = delete;
  FollowerLibrary& operator=(const FollowerLibrary&) = delete;
  const zebfollower_api& operator*() const { return api_; }
  const zebfollower_api* operator->() const { return &api_; }

 private:
  zebfollower_api api_;
};

}  // namespace zebctl
