// Where the driver's own file lives.
#pragma once

#include <string>

namespace vnx::rt {

// Full path of the module (shared library or program) that holds the driver's code;
// empty when the loader cannot tell.
std::string ThisModulePath();

// The directory part of a path, with its final "/"; empty when the path has none.
std::string DirectoryOf(const std::string& path);

}  // namespace vnx::rt
