// Where the shell finds the driver library when the command line names none.
#pragma once

#include <string>

namespace vnxsql {

// The path of the driver library named file (libdbexpvnx.so or libdbexpvnx-ml.so): beside
// the shell as installed (the library directory next to its bin directory), else in the
// tree the shell was built in, else the bare name, for the system loader to search.
std::string DefaultLibraryPath(const std::string& file);

}  // namespace vnxsql
