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
//   that serialises openers so two of them never both see a new block. The
//   block is never shrunk, and its page is reserved when it is set up, so a
//   mapping of it never faults. A master's claim is an exclusive lock on
//   byte 2.
#include "platform.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <new>

namespace zeb::platform {

const char kPathSeparator = '/';

bool path_exists(const char* path) {
  struct stat info;
  return ::stat(path, &info) == 0;
}

MakeDirectory make_directory(const char* path) {
  if (::mkdir(path, 0777) == 0) return MakeDirectory::created;
  return errno == EEXIST ? MakeDirectory::already_exists : MakeDirectory::failed;
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
  *fd = ::open(path, flags | O_CLOEXEC, 0666);
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

FileResult write_file(const char* path, const void* data, size_t size) {
  // A file this call creates is empty already: truncating it would cost a
  // system call and make ext4 start writing it back at close. Only an
  // existing file is truncated.
  bool created = true;
  int fd;
  FileResult opened = open_shared(path, O_WRONLY | O_CREAT | O_EXCL, LOCK_EX, &fd);
  if (opened == FileResult::open_failed && errno == EEXIST) {
    created = false;
    opened = open_shared(path, O_WRONLY | O_CREAT, LOCK_EX, &fd);
  }
  if (opened != FileResult::ok) return opened;
  bool ok = created || ::ftruncate(fd, 0) == 0;
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
    fd = ::open(path, flags | O_CLOEXEC);
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
// in one process exclude each other, and released when the descriptor closes.
bool lock_byte(int fd, off_t byte, short type, bool wait) {
  struct flock lock = {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = byte;
  lock.l_len = 1;
  int command = wait ? F_OFD_SETLKW : F_OFD_SETLK;
  while (::fcntl(fd, command, &lock) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

// shm names are one component with a leading slash; -1 when it does not fit.
int open_shm(const char* name, int flags) {
  char shm_name[512];
  if (std::snprintf(shm_name, sizeof shm_name, "/%s", name) >= static_cast<int>(sizeof shm_name))
    return -1;
  return ::shm_open(shm_name, flags | O_CLOEXEC, 0666);
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

Counter* counter_open(const char* name, bool* already_existed) {
  *already_existed = false;
  int fd = open_shm(name, O_RDWR | O_CREAT);
  if (fd < 0) return nullptr;
  bool ok = lock_byte(fd, kGuardByte, F_WRLCK, true);
  if (ok) {
    bool nobody_holds_it = lock_byte(fd, kHolderByte, F_WRLCK, false);
    // A block that no live process holds is new: clear whatever an earlier
    // generation left in it.
    if (nobody_holds_it) ok = set_up_block(fd);
    ok = ok && lock_byte(fd, kHolderByte, F_RDLCK, false);
    ok = lock_byte(fd, kGuardByte, F_UNLCK, false) && ok;
    *already_existed = !nobody_holds_it;
  }
  Counter* counter = ok ? new (std::nothrow) Counter{fd} : nullptr;
  if (counter == nullptr) ::close(fd);
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
  ::close(counter->fd);
  delete counter;
}

bool counter_claim(Counter* counter) {
  return lock_byte(counter->fd, kMasterByte, F_WRLCK, false);
}

bool counter_orphaned(Counter* counter) {
  struct stat info;
  return ::fstat(counter->fd, &info) == 0 && info.st_nlink == 0;
}

bool counter_peek(const char* name, int32_t* value) {
  int fd = open_shm(name, O_RDWR);
  if (fd < 0) return false;
  // Holders keep shared locks on the holder byte; an exclusive one is an
  // opener still setting up a new block. Asking takes no lock.
  struct flock probe = {};
  probe.l_type = F_WRLCK;
  probe.l_whence = SEEK_SET;
  probe.l_start = kHolderByte;
  probe.l_len = 1;
  bool live = ::fcntl(fd, F_OFD_GETLK, &probe) == 0 && probe.l_type == F_RDLCK;
  void* view = live ? ::mmap(nullptr, sizeof(int32_t), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0)
                    : MAP_FAILED;
  ::close(fd);
  if (view == MAP_FAILED) return false;
  *value = counter_load(static_cast<int32_t*>(view));
  counter_unmap(static_cast<int32_t*>(view));
  return true;
}

int32_t counter_exchange(int32_t* view, int32_t value) {
  return __atomic_exchange_n(view, value, __ATOMIC_SEQ_CST);
}

int32_t counter_load(int32_t* view) {
  return __atomic_fetch_add(view, 0, __ATOMIC_SEQ_CST);
}

}  // namespace zeb::platform
