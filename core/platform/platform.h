#pragma once

#include <cstddef>
#include <cstdint>

// The operating-system services the channel logic needs, and nothing else.
// Each operating system has one implementation file; tests may link any other
// implementation, for instance one that injects faults.
//
// Every primitive follows the same rules:
// - No pointer argument may be null. Paths are NUL-terminated; a Listing,
//   Counter or view is one that an open or map returned and not yet closed.
//   Calls that hand out a pointer give nullptr on failure.
// - A name from listing_next stays valid until the next listing_next or
//   listing_close on the same listing.
// - Every view of a counter is unmapped before the counter is closed.
// - No call throws: failures come back as results.
// - Calls on different objects may run on different threads at once (the
//   two libraries in one process share this layer); one Listing or Counter
//   is used by one thread at a time. counter_exchange and counter_load are
//   atomic across threads and processes.
// - Operating-system error codes are dropped on purpose: hosts get fixed
//   texts, so a result says only which step failed. The codes that change
//   what a caller does are carried in the result: a refused share or lock as
//   FileResult::conflict, an existing directory as already_exists, a held
//   counter as already_existed.
namespace zeb::platform {

// Placed between the components of every channel path.
extern const char kPathSeparator;

// True when a file or directory exists at exactly this path.
bool path_exists(const char* path);

// What zeb creates under a channel's root takes the root's access, as files
// under a Windows folder inherit its permissions: whoever may read (or write)
// a directory may read (or write) what is created in it, nobody more, and
// where others may write, nobody may replace or remove the entries of
// another (the sticky bit). A root zeb creates itself is its owner's alone.
enum class NewDirectory { private_to_owner, as_parent };

enum class MakeDirectory { created, already_exists, failed };

// Creates one directory; its parent is not created.
MakeDirectory make_directory(const char* path, NewDirectory access = NewDirectory::as_parent);

// unprotected: a directory in which users other than its owner may create
// entries and may also replace or remove entries of others, so nothing in it
// is safe from them. Systems that keep such rights per file say present.
enum class DirectoryStatus { missing, present, unprotected };
DirectoryStatus directory_status(const char* path);

// The name of the last component of an existing path as it is stored: where
// names ignore letter case or have short aliases, every spelling of one
// entry gives the same stored name. False when the entry cannot be found or
// its name does not fit `size` bytes.
bool stored_name(const char* path, char* name, size_t size);

// Whether two names of entries in one directory name the same entry.
bool same_name(const char* a, const char* b);

// How many bytes of `text`, at most `limit`, hold whole characters of the
// system's single-byte text (UTF-8 here, the ANSI code page on Windows), so
// a cut there never splits one.
size_t whole_characters(const char* text, size_t limit);

// Lists a directory's entry names one at a time, "." and ".." included.
struct Listing;
Listing* listing_open(const char* directory);  // nullptr when the listing cannot start
const char* listing_next(Listing* listing);    // nullptr when no further entry can be fetched
// After listing_next gave nullptr: true when an entry could not be fetched,
// false when every entry had been listed.
bool listing_broken(Listing* listing);
void listing_close(Listing* listing);

// conflict: the open (or replace) was refused because another program holds
// the file in a way that excludes this use. Such a refusal usually clears
// within milliseconds, so callers may try again.
enum class FileResult { ok, open_failed, io_failed, conflict };

// Every file operation but index reads follows one sharing rule: while a file
// is open, others may open it for reading but not for writing, and an open
// that conflicts with one already held fails, in either direction.

// What write_file does with an entry already at its path: truncate a file,
// or replace the entry (a file or a link, never what a link points to) with a
// new file, so nothing anyone put there beforehand is written through.
enum class Existing { truncate, replace };

// Creates the file or truncates an existing one, writes all `size` bytes and
// closes it. io_failed means the file was opened but not completely written.
// A symbolic link at `path` is never followed.
FileResult write_file(const char* path, const void* data, size_t size,
                      Existing existing = Existing::truncate);

// How a read shares the file: `deny_writers` keeps the sharing rule above;
// `allow_all` lets others write, replace or delete the file meanwhile and
// holds nothing that could refuse them.
enum class ReadSharing { deny_writers, allow_all };

// Opens an existing regular file, reads up to `capacity` bytes from its start
// into `buffer` and closes it. Anything but a regular file, a symbolic link
// included, fails to open.
FileResult read_file(const char* path, void* buffer, size_t capacity, size_t* bytes_read,
                     ReadSharing sharing = ReadSharing::deny_writers);

// Cuts an existing file to zero bytes, opening it as a writer would.
FileResult truncate_file(const char* path);

// Puts the file `from` in place of `to` in one step: anyone opening `to`
// finds either the old file or the new one, whole, even if the process dies.
// Gives ok, open_failed or conflict.
FileResult replace_file(const char* from, const char* to);

// Suspends the calling thread for about `milliseconds`.
void sleep_ms(unsigned milliseconds);

// A named 32-bit counter in shared memory, visible to every process that
// opens the same name, which lives only while some process holds it open:
// an opener that finds nobody else holding it gets a new block holding 0.
// A counter takes the access of the channel directory it belongs to: a new
// one is open to those who may write that directory and nobody else, and an
// existing one is joined only when it is open to nobody else and belongs to
// someone who may write there.
struct Counter;
// created: a new block. joined: a block some live process holds. foreign: the
// name belongs to a block this channel's access does not allow. busy: another
// process kept the name locked for over a second.
enum class CounterOpen { created, joined, failed, foreign, busy };
Counter* counter_open(const char* name, const char* directory, CounterOpen* result);  // nullptr unless created or joined
int32_t* counter_map(Counter* counter);  // nullptr on failure
void counter_unmap(int32_t* view);
// Also in the child of a fork that inherited the counter, where it leaves
// the parent's hold and claim as they are.
void counter_close(Counter* counter);

// Whether a counter's name can be removed while processes hold it (POSIX
// shared memory can be unlinked; a Windows kernel object keeps its name while
// any handle is open). Only where it can does a master's claim also need a
// lock on a file in its channel to rest on.
extern const bool kCounterNameRemovable;

// Makes this holder the one master of the counter's name on the machine.
// False when another holder, in this process or another, in this session or
// another, has claimed it. The claim ends with counter_close, or with the
// process, however it dies.
bool counter_claim(Counter* counter);

// True when the counter's name refers to a block other than this holder's, or
// to none: it was removed while held (and perhaps made again by somebody else).
bool counter_orphaned(Counter* counter);

// Reads a named counter without creating, joining, seeding or writing it.
// absent: no live process holds a counter of that name, or its holder is still
// setting it up as a new block. denied: this user may not read it.
enum class Peek { live, absent, denied };
Peek counter_peek(const char* name, int32_t* value);

// An exclusive lock on a file, which lives until file_unlock or the end of
// the process, however it ends. A missing file is created, open to those who
// may write its directory and nobody else, so nobody else can hold it.
struct FileLock;
enum class LockFile { locked, held_elsewhere, failed };
LockFile file_lock(const char* path, FileLock** lock);
// Also in the child of a fork that inherited the lock, where it leaves the
// parent's lock held.
void file_unlock(FileLock* lock);

// Full-barrier atomic operations on a mapped counter, coherent across processes.
int32_t counter_exchange(int32_t* view, int32_t value);  // returns the value replaced
int32_t counter_load(int32_t* view);

}  // namespace zeb::platform
