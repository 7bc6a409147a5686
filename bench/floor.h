#pragma once

#include <cstddef>
#include <cstdint>

// The bare system calls that the channel's operations cannot do without:
// the references against which the benchmark measures them. No locks, no
// checks beyond the calls' own results, no reports.
namespace zeb::bench {

// Creates or truncates the file, writes the bytes and closes it.
bool put_file(const char* path, const void* data, size_t size);

// Rewrites an index file as a crash-safe index file must be rewritten: its
// decimal text into a temporary file, which then takes the index file's place.
bool put_index(const char* temp_path, const char* path, int32_t value);

// Opens an existing file, reads up to `size` bytes from its start and closes it.
bool get_file(const char* path, void* data, size_t size);

// True when an entry exists at each of the three paths.
bool stat_three(const char* first, const char* second, const char* third);

}  // namespace zeb::bench
