// POSIX implementation of the channel's operating-system services.
//
// Two behaviours of Windows are emulated here, so a channel acts the same on both:
// - File sharing: an open for writing excludes every other open of the file,
//   an open for reading excludes writers. Each open takes a non-blocking
//   flock() right after open() (shared for readers, exclusive for writers)
//   and fails if the lock is refused; a writer truncates only once it holds
//   its lock.
// - Named shared memory that vanishes with its last holder: every holder keeps
//   a shared lock on byte 1 of the shm object. An opener that can lock that
//   byte exclusively knows that no live process holds the block (a killed
//   holder's locks die with it), and clears it as a new block, holding its
//   lock on byte 1 exclusively until the block is ready. Byte 0 is a guard
//   that serialises openers so two of them never both see a new block; no
//   opener waits on it for more than a second. The
//   block is never shrunk, and its page is reserved when it is set up, so a
//   mapping of it never faults. A master's claim is an exclusive lock on
//   byte 2.
//
// Access follows the channel's root (see NewDirectory): modes are computed
// from the parent directory and set with fchmod/chmod, so the host's umask
// neither widens nor narrows them; a counter or lock file is open only to
// those who may write the channel, so nobody else can lock, truncate or
// claim it. Nothing is opened through a symbolic link at the last component
// of its path.
#include "platform.h"
#include "utf8.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <new>

namespace zeb::platform {

const bool kCounterNameRemovable = true;
const char kPathSeparator = '/';

namespace {

constexpr mode_t kClassBits = S_IRWXG | S_IRWXO;
constexpr mode_t kOthersWrite = S_IWGRP | S_IWOTH;

// A new directory under one whose mode is `parent`: the same rights for
// group and others, its owner's full rights, and the sticky bit wherever
// others may write.
mode_t directory_mode_under(mode_t parent) {
  mode_t mode = S_IRWXU | (parent & (kClassBits | S_ISGID));
  return (parent & kOthersWrite) != 0 ? mode | S_ISVTX : mode;
}

// A new file: read and write for each class that may read or write the directory.
mode_t file_mode_under(mode_t parent) {
  return S_IRUSR | S_IWUSR | (parent & (S_IRGRP | S_IWGRP | S_IROTH | S_IWOTH));
}

// A file or counter only those who may write the directory may open at all.
mode_t writers_mode_under(mode_t parent) {
  mode_t mode = S_IRUSR | S_IWUSR;
  if (parent & S_IWGRP) mode |= S_IRGRP | S_IWGRP;
  if (parent & S_IWOTH) mode |= S_IROTH | S_IWOTH;
  return mode;
}

// The mode of the directory that holds `path`; false when it cannot be read.
bool parent_mode(const char* path, struct stat* parent) {
  const char* slash = std::strrchr(path, '/');
  if (slash == nullptr) return ::stat(".", parent) == 0;
  char directory[PATH_MAX];
  size_t length = slash == path ? 1 : static_cast<size_t>(slash - path);
  if (length >= sizeof directory) return false;
  std::memcpy(directory, path, length);
  directory[length] = '\0';
  return ::stat(directory, parent) == 0;
}

// Gives a file this call created the access its directory passes on.
bool take_parent_access(int fd, const char* path, mode_t (*mode_under)(mode_t)) {
  struct stat parent;
  return parent_mode(path, &parent) && ::fchmod(fd, mode_under(parent.st_mode)) == 0;
}

}  // namespace

bool path_exists(const char* path) {
  struct stat info;
  return ::stat(path, &info) == 0;
}

MakeDirectory make_directory(const char* path, NewDirectory access) {
  struct stat parent;
  mode_t mode = S_IRWXU;
  if (access == NewDirectory::as_parent) {
    if (!parent_mode(path, &parent)) return MakeDirectory::failed;
    mode = directory_mode_under(parent.st_mode);
  }
  if (::mkdir(path, S_IRWXU) != 0)
    return errno == EEXIST ? MakeDirectory::already_exists : MakeDirectory::failed;
  // Set after creation, so the umask has no say and nobody else had access
  // before the mode was right.
  return ::chmod(path, mode) == 0 ? MakeDirectory::created : MakeDirectory::failed;
}

DirectoryStatus directory_status(const char* path) {
  struct stat info;
  if (::stat(path, &info) != 0) return DirectoryStatus::missing;
  bool open_to_others = S_ISDIR(info.st_mode) && (info.st_mode & kOthersWrite) != 0;
  return open_to_others && (info.st_mode & S_ISVTX) == 0 ? DirectoryStatus::unprotected
                                                         : DirectoryStatus::present;
}

bool stored_name(const char* path, char* name, size_t size) {
  // Names here are case-sensitive and have no aliases: the stored name is
  // the one given.
  struct stat info;
  if (::stat(path, &info) != 0) return false;
  size_t end = std::strlen(path);
  while (end > 1 && path[end - 1] == '/') --end;
  size_t start = end;
  while (start > 0 && path[start - 1] != '/') --start;
  if (end - start >= size) return false;
  std::memcpy(name, path + start, end - start);
  name[end - start] = '\0';
  return true;
}

bool same_name(const char* a, const char* b) {
  return std::strcmp(a, b) == 0;
}

size_t whole_characters(const char* text, size_t limit) {
  return whole_characters_of(text, limit, utf8_sequence_length);
}

struct Listing {
  DIR* dir;
  bool broken;
};

Listing* listing_open(const char* directory) {
  DIR* dir = ::opendir(directory);
  if (dir == nullptr) return nullptr;
  Listing* listing = new (std::nothrow) Listing{dir, false};
  if (listing == nullptr) ::closedir(dir);
  return listing;
}

const char* listing_next(Listing* listing) {
  // readdir tells its end from its failure only through errno.
  errno = 0;
  const dirent* entry = ::readdir(listing->dir);
  if (entry == nullptr) listing->broken = errno != 0;
  return entry == nullptr ? nullptr : entry->d_name;
}

bool listing_broken(Listing* listing) {
  return listing->broken;
}

void listing_close(Listing* listing) {
  ::closedir(listing->dir);
  delete listing;
}

namespace {

// Opens and locks per the sharing rule. `fd` is -1 unless the result is ok;
// a refused lock is a conflict, errno tells why an open failed.
FileResult open_shared(const char* path, int flags, int lock, int* fd) {
  *fd = ::open(path, flags | O_CLOEXEC | O_NOFOLLOW, S_IRUSR | S_IWUSR);
  if (*fd < 0) return FileResult::open_failed;
  if (::flock(*fd, lock | LOCK_NB) != 0) {
    bool conflict = errno == EWOULDBLOCK;
    ::close(*fd);
    *fd = -1;
    return conflict ? FileResult::conflict : FileResult::open_failed;
  }
  return FileResult::ok;
}

// Closes a file opened for writing; false when the close reports a failure.
bool close_written(int fd, bool ok) {
  return ::close(fd) == 0 && ok;
}

}  // namespace

FileResult write_file(const char* path, const void* data, size_t size, Existing existing) {
  // A file this call creates is empty already: truncating it would cost a
  // system call and make ext4 start writing it back at close. Only an
  // existing file is truncated.
  int fd;
  FileResult opened = open_shared(path, O_WRONLY | O_CREAT | O_EXCL, LOCK_EX, &fd);
  bool created = opened != FileResult::open_failed || errno != EEXIST;
  if (!created && existing == Existing::replace) {
    // Whatever is at the path goes, and the file is made anew; a new entry
    // put there meanwhile is a conflict, tried again like any other.
    if (::unlink(path) != 0 && errno != ENOENT) return FileResult::open_failed;
    opened = open_shared(path, O_WRONLY | O_CREAT | O_EXCL, LOCK_EX, &fd);
    if (opened == FileResult::open_failed && errno == EEXIST) return FileResult::conflict;
    created = true;
  } else if (!created) {
    opened = open_shared(path, O_WRONLY, LOCK_EX, &fd);
  }
  if (opened != FileResult::ok) return opened;
  bool ok = created ? take_parent_access(fd, path, file_mode_under) : ::ftruncate(fd, 0) == 0;
  const char* bytes = static_cast<const char*>(data);
  while (ok && size > 0) {
    ssize_t written = ::write(fd, bytes, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      ok = false;
      break;
    }
    bytes += written;
    size -= static_cast<size_t>(written);
  }
  return close_written(fd, ok) ? FileResult::ok : FileResult::io_failed;
}

FileResult read_file(const char* path, void* buffer, size_t capacity, size_t* bytes_read,
                     ReadSharing sharing) {
  *bytes_read = 0;
  // O_NONBLOCK keeps a FIFO that happens to carry a record's name from
  // blocking the reader; it is refused below like any non-regular file.
  int fd = -1;
  int flags = O_RDONLY | O_NONBLOCK;
  if (sharing == ReadSharing::deny_writers) {
    FileResult opened = open_shared(path, flags, LOCK_SH, &fd);
    if (opened != FileResult::ok) return opened;
  } else {
    // No lock at all, so no writer's open is ever refused because of this read.
    fd = ::open(path, flags | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return FileResult::open_failed;
  }
  struct stat info;
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return FileResult::open_failed;
  }
  char* bytes = static_cast<char*>(buffer);
  bool ok = true;
  while (*bytes_read < capacity) {
    ssize_t got = ::read(fd, bytes + *bytes_read, capacity - *bytes_read);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) ok = false;
    if (got <= 0) break;
    *bytes_read += static_cast<size_t>(got);
  }
  ::close(fd);
  return ok ? FileResult::ok : FileResult::io_failed;
}

FileResult truncate_file(const char* path) {
  int fd;
  FileResult opened = open_shared(path, O_WRONLY, LOCK_EX, &fd);
  if (opened != FileResult::ok) return opened;
  return close_written(fd, ::ftruncate(fd, 0) == 0) ? FileResult::ok : FileResult::io_failed;
}

FileResult replace_file(const char* from, const char* to) {
  // A rename is never refused by the locks of the sharing rule.
  return ::rename(from, to) == 0 ? FileResult::ok : FileResult::open_failed;
}

void sleep_ms(unsigned milliseconds) {
  struct timespec wait = {static_cast<time_t>(milliseconds / 1000),
                          static_cast<long>(milliseconds % 1000) * 1000000L};
  while (::nanosleep(&wait, &wait) != 0 && errno == EINTR) {
  }
}

struct Counter {
  int fd;
};

namespace {

constexpr off_t kGuardByte = 0;
constexpr off_t kHolderByte = 1;
constexpr off_t kMasterByte = 2;

// Open-file-description locks: owned by this open of the object, so two opens
// in one process exclude each other, and released when the last descriptor of
// that open closes. Never waits.
bool lock_byte(int fd, off_t byte, short type) {
  struct flock lock = {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = byte;
  lock.l_len = 1;
  while (::fcntl(fd, F_OFD_SETLK, &lock) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

// shm names are one component with a leading slash; -1 when it does not fit.
int open_shm(const char* name, int flags) {
  char shm_name[512];
  if (std::snprintf(shm_name, sizeof shm_name, "/%s", name) >= static_cast<int>(sizeof shm_name)) {
    errno = ENAMETOOLONG;
    return -1;
  }
  return ::shm_open(shm_name, flags | O_CLOEXEC, S_IRUSR | S_IWUSR);
}

// Whether an object someone else made may be used by a channel whose
// directory is `directory`: its owner may write the directory, and it is open
// to nobody who may not.
bool allowed_by(const struct stat& object, const struct stat& directory) {
  bool others_write = (directory.st_mode & S_IWOTH) != 0;
  bool group_writes = (directory.st_mode & S_IWGRP) != 0 && object.st_gid == directory.st_gid;
  bool owner_writes = object.st_uid == ::geteuid() || object.st_uid == directory.st_uid ||
                      object.st_uid == 0 || others_write || group_writes;
  mode_t allowed = S_IRWXU | (group_writes ? S_IRWXG : 0) | (others_write ? S_IRWXO : 0);
  return owner_writes && (object.st_mode & 0777 & ~allowed) == 0;
}

// An object of this user's own is given the access the directory passes on
// (which also mends one made under another umask); one of another user's
// must already have it.
bool take_channel_access(int fd, const struct stat& directory) {
  struct stat object;
  if (::fstat(fd, &object) != 0) return false;
  if (object.st_uid != ::geteuid()) return allowed_by(object, directory);
  mode_t mode = writers_mode_under(directory.st_mode);
  // The group's rights are for the directory's group; without it, none.
  if ((mode & S_IRWXG) != 0 && object.st_gid != directory.st_gid &&
      ::fchown(fd, static_cast<uid_t>(-1), directory.st_gid) != 0)
    mode &= ~S_IRWXG;
  return ::fchmod(fd, mode) == 0;
}

// Takes an exclusive lock on one byte without waiting for ever: a lock that
// others hold for over a second is not waited for any longer.
bool lock_byte_patiently(int fd, off_t byte) {
  for (int tries = 0; tries < 100; ++tries) {
    if (lock_byte(fd, byte, F_WRLCK)) return true;
    if (errno != EAGAIN && errno != EACCES) return false;
    sleep_ms(10);
  }
  return false;
}

// Gives the block its storage and a count of 0. Reserving the page here
// turns a full /dev/shm into a failed open rather than a SIGBUS at the
// first access; the block is cleared by writing, never by shrinking it,
// so a peeker's mapping never loses its page.
bool set_up_block(int fd) {
  if (::posix_fallocate(fd, 0, sizeof(int32_t)) != 0) return false;
  const int32_t zero = 0;
  return ::pwrite(fd, &zero, sizeof zero, 0) == static_cast<ssize_t>(sizeof zero);
}

}  // namespace

Counter* counter_open(const char* name, const char* directory, CounterOpen* result) {
  *result = CounterOpen::failed;
  struct stat channel;
  if (::stat(directory, &channel) != 0) return nullptr;
  int fd = open_shm(name, O_RDWR | O_CREAT | O_EXCL);
  if (fd < 0 && errno == EEXIST) fd = open_shm(name, O_RDWR);
  if (fd < 0) {
    // Made by somebody who keeps this user out.
    if (errno == EACCES) *result = CounterOpen::foreign;
    return nullptr;
  }
  if (!take_channel_access(fd, channel)) {
    *result = CounterOpen::foreign;
    ::close(fd);
    return nullptr;
  }
  bool ok = lock_byte_patiently(fd, kGuardByte);
  if (!ok) *result = CounterOpen::busy;
  bool nobody_holds_it = false;
  if (ok) {
    nobody_holds_it = lock_byte(fd, kHolderByte, F_WRLCK);
    // A block that no live process holds is new: clear whatever an earlier
    // generation left in it.
    if (nobody_holds_it) ok = set_up_block(fd);
    ok = ok && lock_byte(fd, kHolderByte, F_RDLCK);
    ok = lock_byte(fd, kGuardByte, F_UNLCK) && ok;
  }
  Counter* counter = ok ? new (std::nothrow) Counter{fd} : nullptr;
  if (counter == nullptr) {
    ::close(fd);
    return nullptr;
  }
  *result = nobody_holds_it ? CounterOpen::created : CounterOpen::joined;
  return counter;
}

int32_t* counter_map(Counter* counter) {
  void* view = ::mmap(nullptr, sizeof(int32_t), PROT_READ | PROT_WRITE, MAP_SHARED, counter->fd, 0);
  return view == MAP_FAILED ? nullptr : static_cast<int32_t*>(view);
}

void counter_unmap(int32_t* view) {
  ::munmap(view, sizeof(int32_t));
}

void counter_close(Counter* counter) {
  // Closing, never unlocking: the locks belong to the open file description,
  // which a forked child shares with its parent until both have closed it.
  ::close(counter->fd);
  delete counter;
}

bool counter_claim(Counter* counter) {
  return lock_byte(counter->fd, kMasterByte, F_WRLCK);
}

bool counter_orphaned(Counter* counter) {
  struct stat info;
  return ::fstat(counter->fd, &info) == 0 && info.st_nlink == 0;
}

Peek counter_peek(const char* name, int32_t* value) {
  int fd = open_shm(name, O_RDONLY);
  if (fd < 0) return errno == EACCES ? Peek::denied : Peek::absent;
  // Holders keep shared locks on the holder byte; an exclusive one is an
  // opener still setting up a new block. Asking takes no lock.
  struct flock probe = {};
  probe.l_type = F_WRLCK;
  probe.l_whence = SEEK_SET;
  probe.l_start = kHolderByte;
  probe.l_len = 1;
  bool live = ::fcntl(fd, F_OFD_GETLK, &probe) == 0 && probe.l_type == F_RDLCK;
  void* view = live ? ::mmap(nullptr, sizeof(int32_t), PROT_READ, MAP_SHARED, fd, 0) : MAP_FAILED;
  ::close(fd);
  if (view == MAP_FAILED) return Peek::absent;
  *value = __atomic_load_n(static_cast<int32_t*>(view), __ATOMIC_SEQ_CST);
  counter_unmap(static_cast<int32_t*>(view));
  return Peek::live;
}

struct FileLock {
  int fd;
};

LockFile file_lock(const char* path, FileLock** lock) {
  *lock = nullptr;
  int fd = ::open(path, O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, S_IRUSR | S_IWUSR);
  if (fd < 0) return LockFile::failed;
  struct stat info;
  bool own = ::fstat(fd, &info) == 0 && info.st_uid == ::geteuid();
  if (own && !take_parent_access(fd, path, writers_mode_under)) {
    ::close(fd);
    return LockFile::failed;
  }
  if (!lock_byte(fd, 0, F_WRLCK)) {
    bool held = errno == EAGAIN || errno == EACCES;
    ::close(fd);
    return held ? LockFile::held_elsewhere : LockFile::failed;
  }
  *lock = new (std::nothrow) FileLock{fd};
  if (*lock == nullptr) {
    ::close(fd);
    return LockFile::failed;
  }
  return LockFile::locked;
}

void file_unlock(FileLock* lock) {
  // As counter_close: closing leaves a forked parent's lock in place.
  ::close(lock->fd);
  delete lock;
}

int32_t counter_exchange(int32_t* view, int32_t value) {
  return __atomic_exchange_n(view, value, __ATOMIC_SEQ_CST);
}

int32_t counter_load(int32_t* view) {
  return __atomic_fetch_add(view, 0, __ATOMIC_SEQ_CST);
}

}  // namespace zeb::platform
