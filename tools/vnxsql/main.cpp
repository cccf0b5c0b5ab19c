// vnxsql's entry: takes over Ctrl-C and hands the command line and the standard streams to
// the shell.
#include <clocale>
#include <iostream>
#include <string>
#include <vector>

#include "tools/vnxsql/interrupt.h"
#include "tools/vnxsql/shell.h"

int main(int argc, char** argv) {
  // The character set of the terminal is the application's character set: on a UTF-8
  // terminal the driver hands texts over as UTF-8. Numbers and dates stay in the "C" forms.
  std::setlocale(LC_CTYPE, "");
  vnxsql::WatchInterrupts();
  std::vector<std::string> args(argv + 1, argv + argc);
  return vnxsql::RunShell(args, std::cin, std::cout, std::cerr);
}
