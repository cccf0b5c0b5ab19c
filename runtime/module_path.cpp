// Finding the driver's own file through the dynamic loader.
#include "runtime/module_path.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>

namespace vnx::rt {

std::string ThisModulePath() {
  Dl_info info{};
  if (!dladdr(reinterpret_cast<void*>(&ThisModulePath), &info) || !info.dli_fname) return {};
  // dli_fname is the name the module was opened by, which may be relative.
  char resolved[PATH_MAX];
  if (realpath(info.dli_fname, resolved)) return resolved;
  return info.dli_fname;
}

std::string DirectoryOf(const std::string& path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace vnx::rt
