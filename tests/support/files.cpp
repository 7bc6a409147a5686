#include "files.h"

#include <filesystem>
#include <fstream>
#include <iterator>

namespace zeb::test {

std::vector<unsigned char> read_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string read_text(const std::string& path) {
  std::vector<unsigned char> bytes = read_bytes(path);
  return std::string(bytes.begin(), bytes.end());
}

void write_bytes(const std::string& path, const void* data, size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
}

void write_text(const std::string& path, const std::string& text) {
  write_bytes(path, text.data(), text.size());
}

void make_directory(const std::string& path) {
  std::filesystem::create_directories(path);
}

void remove_all(const std::string& path) {
  std::error_code ignored;
  std::filesystem::remove_all(path, ignored);
}

}  // namespace zeb::test
