// vnxsql's entry: hands the command line and the standard streams to the shell.
#include <iostream>
#include <string>
#include <vector>

#include "tools/vnxsql/shell.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return vnxsql::RunShell(args, std::cin, std::cout, std::cerr);
}
