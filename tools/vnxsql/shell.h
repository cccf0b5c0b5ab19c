// vnxsql, a small SQL shell over the driver: connects through the dbExpress interfaces,
// runs statements and backslash commands, and prints results as aligned tables.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace vnxsql {

// Runs the shell with the command line args (without the program name), reading
// statements from in when no -c or -f is given. Returns the exit status: 0 when every
// statement succeeded, 1 when one failed, 2 when the shell could not start (bad
// arguments, library not loadable, connect refused).
int RunShell(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err);

// The usage text.
std::string Usage();

}  // namespace vnxsql
