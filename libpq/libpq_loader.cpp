// Opening libpq at run time and binding its functions into the process-wide table.
#include <dlfcn.h>
#include <errno.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "common/errors.h"
#include "i18n/translate.h"
#include "libpq/libpq_api.h"
#include "resources/libpq_resources.h"
#include "runtime/format.h"
#include "runtime/module_path.h"

namespace vnx {

LibpqApi PQ;

namespace {

void* g_handle = nullptr;        // the opened library; kept for the life of the process
std::string g_loadedName;        // set only when the whole table was bound
void* g_binding = nullptr;       // library being bound by the running LoadLibpq
std::string g_bindingName;       // and its name, for the messages

// Connections of one process may connect first from several threads at once: one of them
// binds the table, under this lock, and publishes it through the flag; whoever sees the
// flag set sees the whole table.
std::mutex g_loadLock;
std::atomic<bool> g_loaded{false};

std::string DlError() {
  const char* e = dlerror();
  return e ? std::string(e) : std::string();
}

// Directory (with its final "/") that a relative library name is retried in: the running
// program's, or, when the program was started without a path, the driver's own.
std::string RetryDirectory() {
  std::string program = program_invocation_name ? program_invocation_name : "";
  if (program.find('/') == std::string::npos) program = rt::ThisModulePath();
  return rt::DirectoryOf(program);
}

// The symbols are resolved at once (RTLD_NOW): a library that opens is complete, and a
// broken one fails here rather than at the first call in the middle of a statement. The
// error says why each place tried failed: the system's search path, then the program's folder.
void* OpenModule(const std::string& name, std::string& error) {
  constexpr int kFlags = RTLD_NOW | RTLD_GLOBAL;
  void* h = dlopen(name.c_str(), kFlags);
  if (h) return h;
  error = DlError();
  if (!name.empty() && name[0] != '/') {
    error = rt::Format(Res(res::SLibpqNotOnSearchPath), error);
    std::string dir = RetryDirectory();
    if (!dir.empty()) {
      h = dlopen((dir + name).c_str(), kFlags);
      if (h) return h;
      error += "; " + rt::Format(Res(res::SLibpqNotInProgramFolder), dir, DlError());
    }
  }
  return nullptr;
}

}  // namespace

bool LibpqLoaded() noexcept { return g_loaded.load(std::memory_order_acquire); }

const std::string& LoadedLibpqName() noexcept { return g_loadedName; }

void ForgetLoadedLibpqName() noexcept { g_loadedName.clear(); }

void* BindLibpqFunction(const char* name) {
  void* address = g_binding ? dlsym(g_binding, name) : nullptr;
  if (!address)
    throw EVNXLibpqError(rt::Format(Res(res::SLibpqFunctionMissing), name, g_bindingName));
  return address;
}

bool LoadLibpq(const std::string& libraryName, std::vector<std::string>* notes) {
  if (LibpqLoaded()) return false;
  std::lock_guard<std::mutex> guard(g_loadLock);
  if (LibpqLoaded()) return false;  // another thread bound it meanwhile
  std::string name = libraryName.empty() ? std::string("libpq.so") : libraryName;

  std::string error;
  void* handle = OpenModule(name, error);
  if (!handle && libraryName.empty()) {
    // "libpq.so" comes with the development files only (libpq-dev); the library itself is
    // installed as libpq.so.5, which every libpq since 8.2 is.
    if (notes) notes->push_back(rt::Format(Res(res::SLibpqTryingSoname), name, error));
    std::string second;
    handle = OpenModule("libpq.so.5", second);
    if (handle) name = "libpq.so.5";
    else error = name + ": " + error + "; libpq.so.5: " + second;
  }
  if (!handle) throw EVNXLibpqError(rt::Format(Res(res::SCouldNotLoadLibpq), name, error));

  // Bind into a scratch table and publish it only when every name was found, so that a
  // failed load never leaves the table half bound.
  LibpqApi table;
  g_binding = handle;
  g_bindingName = name;
  try {
#define VNX_LIBPQ_BIND(fn) table.fn = reinterpret_cast<decltype(table.fn)>(BindLibpqFunction(#fn));
    VNX_LIBPQ_REQUIRED(VNX_LIBPQ_BIND)
#undef VNX_LIBPQ_BIND
#define VNX_LIBPQ_BIND_OPTIONAL(fn) table.fn = reinterpret_cast<decltype(table.fn)>(dlsym(handle, #fn));
    VNX_LIBPQ_OPTIONAL(VNX_LIBPQ_BIND_OPTIONAL)
#undef VNX_LIBPQ_BIND_OPTIONAL
  } catch (const std::exception& e) {
    g_binding = nullptr;
    // A library that cannot be bound is of no use: close it again.
    dlclose(handle);
    throw EVNXLibpqError(rt::Format(res::SInternalLibpqError, name, e.what()));
  }
  g_binding = nullptr;
  g_handle = handle;
  PQ = table;
  g_loadedName = name;
  g_loaded.store(true, std::memory_order_release);
  return true;
}

}  // namespace vnx
