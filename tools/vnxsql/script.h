// Cutting shell input into statements and backslash commands, and counting the "?"
// markers of a statement the way the driver finds them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vnxsql {

struct ScriptItem {
  bool meta = false;  // a backslash command line such as \dt
  std::string text;   // the statement (with its ";") or the whole command line
};

// A statement ends with a line whose last character outside quotes and comments is ";".
// Line comments outside quotes are dropped; quoted text, dollar-quoted bodies and block
// comments may span lines. A line that starts with "\" between statements is a command.
class ScriptSplitter {
 public:
  // Feeds one line without its line end; completed items are appended to out.
  void AddLine(std::string_view line, std::vector<ScriptItem>& out);
  // The end of the input: a statement without its closing ";" is completed too.
  void Finish(std::vector<ScriptItem>& out);
  // Whether the server reads backslashes in '...' strings as ordinary characters (E'...'
  // strings take escapes either way). Off until set, as servers before 9.1 read them.
  void SetStandardStrings(bool on) { standardStrings_ = on; }
  // True between statements, where a line starting with "\" is a command.
  bool Idle() const;

 private:
  enum class State { Normal, Single, Double, Block, Dollar };
  void Emit(std::vector<ScriptItem>& out);
  std::string pending_;
  State state_ = State::Normal;
  std::string dollarTag_;
  bool standardStrings_ = false;
  bool escapes_ = false;  // backslashes escape inside the current '...' string
};

// Number of "?" markers the driver will replace in sql, found by the driver's own tokenizer
// as it reads a connection with the given standard_conforming_strings (the reading differs
// only where a backslash precedes a quote in a plain '...' string).
int CountMarkers(std::string_view sql, bool standardStrings = false);

}  // namespace vnxsql
