#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Whole-file helpers for tests, on any platform.
namespace zeb::test {

std::vector<unsigned char> read_bytes(const std::string& path);
std::string read_text(const std::string& path);
void write_bytes(const std::string& path, const void* data, size_t size);
void write_text(const std::string& path, const std::string& text);
// Creates the directory and any missing parents.
void make_directory(const std::string& path);

}  // namespace zeb::test
