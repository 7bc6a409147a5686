#include "win_support.h"

#include <gtest/gtest.h>


namespace zeb::wintest {

std::string program_path() {
  char path[MAX_PATH];
  DWORD length = ::GetModuleFileNameA(nullptr, path, sizeof path);
  return std::string(path, length);
}

std::string program_directory() {
  std::string path = program_path();
  return path.substr(0, path.find_last_of('\\'));
}

}  // namespace zeb::wintest

namespace zeb::test {

TempDir::TempDir(const std::string& base) {
  char temp[MAX_PATH];
  DWORD length = ::GetTempPathA(sizeof temp, temp);
  std::string parent = base.empty() ? std::string(temp, length - 1) : base;
  path_ = join(parent, unique_name("zeb-test-"));
  EXPECT_TRUE(::CreateDirectoryA(path_.c_str(), nullptr)) << path_;
}

std::string unique_name(const std::string& prefix) {
  static int sequence = 0;
  return prefix + std::to_string(::GetCurrentProcessId()) + "_" + std::to_string(++sequence);
}

bool exists(const std::string& path) {
  return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

HeldFile::HeldFile(const std::string& path, Mode mode)
    : handle_(reinterpret_cast<intptr_t>(
          ::CreateFileA(path.c_str(), mode == reading ? GENERIC_READ : GENERIC_WRITE,
                        FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr))) {
  EXPECT_NE(reinterpret_cast<HANDLE>(handle_), INVALID_HANDLE_VALUE)
      << path << ": error " << ::GetLastError();
}

HeldFile::~HeldFile() {
  if (reinterpret_cast<HANDLE>(handle_) != INVALID_HANDLE_VALUE)
    ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

}  // namespace zeb::test

namespace zeb::wintest {

Process::Process(const std::vector<std::string>& args, const std::string& program) {
  std::string command = "\"" + (program.empty() ? program_path() : program_directory() + "\\" + program) + "\"";
  for (const std::string& arg : args) command += " \"" + arg + "\"";
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
  HANDLE discard = INVALID_HANDLE_VALUE;
  if (!program.empty()) {
    discard = ::CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited,
                            OPEN_EXISTING, 0, nullptr);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = discard;
    startup.hStdOutput = discard;
    startup.hStdError = discard;
  }
  EXPECT_TRUE(::CreateProcessA(nullptr, command.data(), nullptr, nullptr, !program.empty(), 0, nullptr,
                               nullptr, &startup, &info_))
      << command << ": error " << ::GetLastError();
  if (discard != INVALID_HANDLE_VALUE) ::CloseHandle(discard);
}

Process::~Process() {
  if (info_.hProcess == nullptr) return;
  kill();
  ::CloseHandle(info_.hThread);
  ::CloseHandle(info_.hProcess);
}

int Process::wait(DWORD milliseconds) {
  DWORD code = 0;
  if (::WaitForSingleObject(info_.hProcess, milliseconds) != WAIT_OBJECT_0 ||
      !::GetExitCodeProcess(info_.hProcess, &code))
    return -1;
  return static_cast<int>(code);
}

void Process::kill() {
  if (::TerminateProcess(info_.hProcess, 137)) ::WaitForSingleObject(info_.hProcess, INFINITE);
}

}  // namespace zeb::wintest
