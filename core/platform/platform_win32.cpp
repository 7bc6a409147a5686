// Windows implementation of the channel's operating-system services, on plain
// KERNEL32 calls. Paths are single-byte (ANSI)
// strings with backslash separators; the sharing rule is Windows' own: every
// open shares the file for reading only, except index reads, which share
// everything.
#include "platform.h"
#include "utf8.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <new>

namespace zeb::platform {

const bool kCounterNameRemovable = false;
const char kPathSeparator = '\\';

namespace {

// Room for a path of the platform's limit plus a "\*" search suffix.
constexpr size_t kSearchSize = MAX_PATH + 2;

bool is_separator(char c) {
  return c == '\\' || c == '/';
}

// `path` followed by a search for everything in it; false when it does not fit.
bool search_pattern(char (&out)[kSearchSize], const char* path, size_t length) {
  bool separated = length > 0 && is_separator(path[length - 1]);
  if (length + (separated ? 1 : 2) >= kSearchSize) return false;
  std::memcpy(out, path, length);
  if (!separated) out[length++] = '\\';
  out[length++] = '*';
  out[length] = '\0';
  return true;
}

// The path after the "\\?\" prefix of a literal path, whose '?' is no wildcard.
const char* without_literal_prefix(const char* path) {
  return std::strncmp(path, "\\\\?\\", 4) == 0 ? path + 4 : path;
}

bool found_by_search(const char* pattern) {
  WIN32_FIND_DATAA entry;
  HANDLE search = ::FindFirstFileA(pattern, &entry);
  if (search == INVALID_HANDLE_VALUE) return false;
  ::FindClose(search);
  return true;
}

}  // namespace

bool path_exists(const char* path) {
  // A search reads these as wildcards, which would match other names; the
  // "\\?\" prefix of a literal path is no wildcard.
  const char* names = without_literal_prefix(path);
  if (std::strpbrk(names, "*?") != nullptr) return false;
  size_t length = std::strlen(path);
  char exact[kSearchSize];
  if (length >= sizeof exact) return false;
  std::memcpy(exact, path, length + 1);
  // A search for "dir\" finds nothing, so one trailing separator goes, except
  // the one that makes "C:\" the drive's root rather than its current directory.
  size_t prefix = static_cast<size_t>(names - path);
  bool drive_root = length == prefix + 3 && exact[prefix + 1] == ':';
  if (length > 1 && is_separator(exact[length - 1]) && !drive_root) exact[--length] = '\0';
  if (found_by_search(exact)) return true;
  // A root ("C:\", "\\server\share") is no entry of any directory: only a
  // search inside it shows that it is there.
  char inside[kSearchSize];
  return search_pattern(inside, exact, length) && found_by_search(inside);
}

MakeDirectory make_directory(const char* path, NewDirectory) {
  // A new folder inherits its parent's permissions; a root's parent decides
  // for the root too.
  if (::CreateDirectoryA(path, nullptr)) return MakeDirectory::created;
  return ::GetLastError() == ERROR_ALREADY_EXISTS ? MakeDirectory::already_exists
                                                  : MakeDirectory::failed;
}

DirectoryStatus directory_status(const char* path) {
  // Rights are kept per file and folder, inherited from the root's folder.
  return path_exists(path) ? DirectoryStatus::present : DirectoryStatus::missing;
}

namespace {

// The entry of the directory `parent` (of `length` bytes) that `name` names,
// in any case or by its short alias; false when there is none.
bool find_in_parent(const char* parent, size_t length, const char* name, WIN32_FIND_DATAA* entry) {
  char pattern[kSearchSize];
  if (!search_pattern(pattern, parent, length)) return false;
  HANDLE search = ::FindFirstFileA(pattern, entry);
  if (search == INVALID_HANDLE_VALUE) return false;
  bool found = false;
  do found = same_name(entry->cFileName, name) || same_name(entry->cAlternateFileName, name);
  while (!found && ::FindNextFileA(search, entry));
  ::FindClose(search);
  return found;
}

}  // namespace

bool stored_name(const char* path, char* name, size_t size) {
  // A search for the entry gives its long name in its stored case, whatever
  // case or short (8.3) alias the path used. A search for a literal path
  // ("\\?\") finds no directory on some systems; the parent's listing does.
  if (std::strpbrk(without_literal_prefix(path), "*?") != nullptr) return false;
  WIN32_FIND_DATAA entry;
  HANDLE search = ::FindFirstFileA(path, &entry);
  if (search != INVALID_HANDLE_VALUE) {
    ::FindClose(search);
  } else {
    const char* last = path + std::strlen(path);
    while (last > path && !is_separator(last[-1])) --last;
    if (last == path || *last == '\0' || !find_in_parent(path, static_cast<size_t>(last - path), last, &entry))
      return false;
  }
  size_t length = std::strlen(entry.cFileName);
  if (length >= size) return false;
  std::memcpy(name, entry.cFileName, length + 1);
  return true;
}

bool same_name(const char* a, const char* b) {
  // As the file system compares names: ordinally, ignoring letter case.
  WCHAR wide_a[MAX_PATH], wide_b[MAX_PATH];
  int length_a = ::MultiByteToWideChar(CP_ACP, 0, a, -1, wide_a, MAX_PATH);
  int length_b = ::MultiByteToWideChar(CP_ACP, 0, b, -1, wide_b, MAX_PATH);
  if (length_a == 0 || length_b == 0) return std::strcmp(a, b) == 0;
  return ::CompareStringOrdinal(wide_a, -1, wide_b, -1, TRUE) == CSTR_EQUAL;
}

size_t whole_characters(const char* text, size_t limit) {
  // A double-byte code page's lead bytes start two-byte characters; the
  // UTF-8 code page has sequences of its own. Both tests are KERNEL32's.
  if (::GetACP() == CP_UTF8) return whole_characters_of(text, limit, utf8_sequence_length);
  return whole_characters_of(text, limit, [](unsigned char lead) -> size_t { return ::IsDBCSLeadByte(lead) ? 2 : 1; });
}

struct Listing {
  HANDLE search;
  WIN32_FIND_DATAA entry;
  bool entry_unread;  // the entry FindFirstFileA returned has not been handed out
  bool broken;        // FindNextFileA failed before the last entry
};

Listing* listing_open(const char* directory) {
  char pattern[kSearchSize];
  if (!search_pattern(pattern, directory, std::strlen(directory))) return nullptr;
  Listing* listing = new (std::nothrow) Listing{};
  if (listing == nullptr) return nullptr;
  listing->search = ::FindFirstFileA(pattern, &listing->entry);
  if (listing->search == INVALID_HANDLE_VALUE) {
    delete listing;
    return nullptr;
  }
  listing->entry_unread = true;
  return listing;
}

const char* listing_next(Listing* listing) {
  if (listing->entry_unread) {
    listing->entry_unread = false;
    return listing->entry.cFileName;
  }
  if (::FindNextFileA(listing->search, &listing->entry)) return listing->entry.cFileName;
  listing->broken = ::GetLastError() != ERROR_NO_MORE_FILES;
  return nullptr;
}

bool listing_broken(Listing* listing) {
  return listing->broken;
}

void listing_close(Listing* listing) {
  ::FindClose(listing->search);
  delete listing;
}

namespace {

// Why an open or a replace failed. Scanners, indexers and backup tools open
// files behind everyone's back, which shows as a sharing, lock or access
// violation until they let go; a directory refuses opens with an access
// violation too, but for good.
FileResult failure(const char* path) {
  DWORD error = ::GetLastError();
  if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) return FileResult::conflict;
  if (error != ERROR_ACCESS_DENIED) return FileResult::open_failed;
  DWORD attributes = ::GetFileAttributesA(path);
  bool directory = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
  return directory ? FileResult::open_failed : FileResult::conflict;
}

// Opens for writing, sharing the file for reading only.
HANDLE open_for_writing(const char* path, DWORD disposition) {
  return ::CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, disposition,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

FileResult write_file(const char* path, const void* data, size_t size, Existing existing) {
  if (existing == Existing::replace && !::DeleteFileA(path) && ::GetLastError() != ERROR_FILE_NOT_FOUND)
    return failure(path);
  HANDLE file = open_for_writing(path, existing == Existing::replace ? CREATE_NEW : CREATE_ALWAYS);
  if (file == INVALID_HANDLE_VALUE)
    return ::GetLastError() == ERROR_FILE_EXISTS ? FileResult::conflict : failure(path);
  const char* bytes = static_cast<const char*>(data);
  bool ok = true;
  while (ok && size > 0) {
    DWORD written = 0;
    ok = ::WriteFile(file, bytes, static_cast<DWORD>(size), &written, nullptr) && written > 0;
    bytes += written;
    size -= written;
  }
  if (!::CloseHandle(file)) ok = false;
  return ok ? FileResult::ok : FileResult::io_failed;
}

FileResult read_file(const char* path, void* buffer, size_t capacity, size_t* bytes_read,
                     ReadSharing sharing) {
  *bytes_read = 0;
  DWORD share = sharing == ReadSharing::deny_writers
                    ? FILE_SHARE_READ
                    : FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  // Without FILE_FLAG_BACKUP_SEMANTICS a directory cannot be opened, so only
  // files get past this.
  HANDLE file = ::CreateFileA(path, GENERIC_READ, share, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return failure(path);
  char* bytes = static_cast<char*>(buffer);
  bool ok = true;
  while (*bytes_read < capacity) {
    DWORD got = 0;
    ok = ::ReadFile(file, bytes + *bytes_read, static_cast<DWORD>(capacity - *bytes_read), &got,
                    nullptr);
    if (!ok || got == 0) break;
    *bytes_read += got;
  }
  ::CloseHandle(file);
  return ok ? FileResult::ok : FileResult::io_failed;
}

FileResult truncate_file(const char* path) {
  HANDLE file = open_for_writing(path, TRUNCATE_EXISTING);
  if (file == INVALID_HANDLE_VALUE) return failure(path);
  return ::CloseHandle(file) ? FileResult::ok : FileResult::io_failed;
}

FileResult replace_file(const char* from, const char* to) {
  // Refused while anyone holds `to` (or `from`) open without delete sharing.
  if (::MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING)) return FileResult::ok;
  return failure(to);
}

void sleep_ms(unsigned milliseconds) {
  ::Sleep(milliseconds);
}

struct Counter {
  HANDLE mapping;
  HANDLE claim;  // the master's claim, nullptr until taken
  char claim_name[MAX_PATH + 32];
};

Counter* counter_open(const char* name, const char*, CounterOpen* result) {
  // Backed by the paging file: the block lives exactly as long as a handle
  // or a view of it is open somewhere. Its name is in the session's own
  // namespace, where it takes the session's default access.
  HANDLE mapping = ::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                        sizeof(int32_t), name);
  DWORD error = ::GetLastError();
  *result = CounterOpen::failed;
  if (mapping == nullptr) {
    if (error == ERROR_ACCESS_DENIED) *result = CounterOpen::foreign;
    return nullptr;
  }
  Counter* counter = new (std::nothrow) Counter{mapping, nullptr, {}};
  if (counter == nullptr) {
    ::CloseHandle(mapping);
    return nullptr;
  }
  *result = error == ERROR_ALREADY_EXISTS ? CounterOpen::joined : CounterOpen::created;
  // The claim is named in the machine's global namespace, so it excludes
  // masters in every logon session (services, remote desktops, scheduled
  // tasks); a mutex there needs no privilege. Kernel objects of every type
  // share one namespace, and every counter's name begins "zeb_", so this
  // prefix meets no counter.
  std::snprintf(counter->claim_name, sizeof counter->claim_name, "Global\\zebmaster_%s", name);
  return counter;
}

int32_t* counter_map(Counter* counter) {
  return static_cast<int32_t*>(::MapViewOfFile(counter->mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0));
}

void counter_unmap(int32_t* view) {
  ::UnmapViewOfFile(view);
}

void counter_close(Counter* counter) {
  if (counter->claim != nullptr) ::CloseHandle(counter->claim);
  ::CloseHandle(counter->mapping);
  delete counter;
}

bool counter_claim(Counter* counter) {
  // The claim is a named mutex that nobody waits on: whoever creates it holds
  // the claim, and it ends when its only handle closes, also when the
  // process dies.
  if (counter->claim != nullptr) return true;
  HANDLE claim = ::CreateMutexA(nullptr, FALSE, counter->claim_name);
  if (claim == nullptr) return false;
  if (::GetLastError() == ERROR_ALREADY_EXISTS) {
    ::CloseHandle(claim);
    return false;
  }
  counter->claim = claim;
  return true;
}

bool counter_orphaned(Counter*) {
  // A named object keeps its name as long as any handle to it is open.
  return false;
}

Peek counter_peek(const char* name, int32_t* value) {
  HANDLE mapping = ::OpenFileMappingA(FILE_MAP_READ, FALSE, name);
  if (mapping == nullptr) return ::GetLastError() == ERROR_ACCESS_DENIED ? Peek::denied : Peek::absent;
  void* view = ::MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
  if (view != nullptr) {
    // A read-only view: an interlocked operation would write to it.
    *value = __atomic_load_n(static_cast<int32_t*>(view), __ATOMIC_SEQ_CST);
    ::UnmapViewOfFile(view);
  }
  ::CloseHandle(mapping);
  return view != nullptr ? Peek::live : Peek::absent;
}

struct FileLock {
  HANDLE file;
};

LockFile file_lock(const char* path, FileLock** lock) {
  *lock = nullptr;
  // Shared for everything, so scanners and backups opening the file meet no
  // refusal; the lock on its first byte is what excludes.
  HANDLE file = ::CreateFileA(path, GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return LockFile::failed;
  OVERLAPPED at = {};
  if (!::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
    bool held = ::GetLastError() == ERROR_LOCK_VIOLATION;
    ::CloseHandle(file);
    return held ? LockFile::held_elsewhere : LockFile::failed;
  }
  *lock = new (std::nothrow) FileLock{file};
  if (*lock == nullptr) {
    ::CloseHandle(file);
    return LockFile::failed;
  }
  return LockFile::locked;
}

void file_unlock(FileLock* lock) {
  // Closing the only handle releases the lock.
  ::CloseHandle(lock->file);
  delete lock;
}

int32_t counter_exchange(int32_t* view, int32_t value) {
  return ::InterlockedExchange(reinterpret_cast<volatile LONG*>(view), value);
}

int32_t counter_load(int32_t* view) {
  return ::InterlockedExchangeAdd(reinterpret_cast<volatile LONG*>(view), 0);
}

}  // namespace zeb::platform
