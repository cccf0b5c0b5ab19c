// Where the shell finds the driver library when the command line names none.
#include "tools/vnxsql/library_path.h"

#include <sys/stat.h>
#include <unistd.h>

#include <vector>

// Both given by the build: the installed library directory relative to the installed bin
// directory, and the directory the libraries are built in.
#ifndef VNXSQL_INSTALLED_LIBRARY_DIR
#define VNXSQL_INSTALLED_LIBRARY_DIR "../lib"
#endif
#ifndef VNXSQL_LIBRARY_DIR
#define VNXSQL_LIBRARY_DIR "."
#endif

namespace vnxsql {
namespace {

// The directory of the running program, with its trailing "/"; empty when unknown.
std::string ProgramDirectory() {
  std::vector<char> buf(4096);
  const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
  if (n <= 0 || static_cast<std::size_t>(n) >= buf.size()) return {};
  std::string path(buf.data(), static_cast<std::size_t>(n));
  return path.substr(0, path.rfind('/') + 1);
}

bool IsFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

std::string DefaultLibraryPath(const std::string& file) {
  const std::string program = ProgramDirectory();
  if (!program.empty()) {
    const std::string installed = program + VNXSQL_INSTALLED_LIBRARY_DIR "/" + file;
    if (IsFile(installed)) return installed;
  }
  const std::string built = VNXSQL_LIBRARY_DIR "/" + file;
  if (IsFile(built)) return built;
  return file;
}

}  // namespace vnxsql
