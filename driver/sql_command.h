// TVNXISQLCommand: runs one SQL statement at a time on its connection, with parameter
// values substituted into the text as literals, and stored-procedure calls.
#pragma once

#include <libpq-fe.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/command_param.h"
#include "driver/interface_object.h"
#include "parser/sql_parser.h"

namespace vnx {

class TVNXISQLConnection;
class TVNXISQLCursor;

class TVNXISQLCommand final : public TVNXErrorObject {
 public:
  explicit TVNXISQLCommand(TVNXISQLConnection* connection);
  ~TVNXISQLCommand();

  // Interface operations.
  SQLResult SetOption(std::uint32_t option, OptionValue value);
  SQLResult GetOption(std::uint32_t option, void* propValue, std::int16_t maxLength, std::int16_t* length);
  SQLResult setParameter(std::uint16_t parameterNumber, std::uint16_t childPosition, std::uint32_t paramType,
                         std::uint16_t logicalType, std::uint16_t subType, std::int32_t precision,
                         std::int32_t scale, std::uint32_t length, void* buffer, std::int32_t indicator);
  SQLResult getParameter(std::uint16_t parameterNumber, std::uint16_t childPosition, void* value,
                         std::int32_t length, std::int32_t* isBlank);
  SQLResult prepare(const char* sql, std::uint16_t paramCount);
  SQLResult execute(void** cursor);
  SQLResult executeImmediate(const char* sql, void** cursor);
  SQLResult getNextCursor(void** cursor);
  SQLResult getRowsAffected(std::uint32_t* rows);
  SQLResult close();

  // Runs a finished text; shared by execute and executeImmediate.
  SQLResult InternalExecute(const std::string& text, void** cursor);

  // The text execute sends: markers replaced by literals, only the first statement when
  // there are parameters. Raises when a literal cannot be made.
  std::string SubstituteParameters();

  static const ISQLCommandVtbl Vtbl;

  InterfaceRef<TVNXISQLConnection> Connection;  // kept alive while the command lives
  bool BlockRead = false;
  bool BlockWrite = false;
  TVNXSQLParser Parser;
  std::int32_t RowsetSize = 0;
  std::string SQL;
  PGresult* Result = nullptr;      // owned unless it was handed to a cursor
  std::uint32_t RowsAffected = 0;
  bool StoredProc = false;
  std::string ProcName;
  std::vector<CommandParam> Params;
  InterfaceRef<TVNXISQLCursor> OutputCursor;

 private:
  void ClearResult() noexcept;
  // The text that calls the stored procedure ProcName with its parameters.
  std::string ProcedureCall();
  // Whether ProcName is a procedure of the server (called with CALL); asked once per name.
  bool CallsProcedure();
  std::string procKindOf_;         // the name isProcedure_ was asked for
  bool isProcedure_ = false;
  bool calledProcedure_ = false;   // the last execute called a procedure with CALL
  bool outputRowRead_ = false;     // getParameter has moved the output cursor to its row
};

}  // namespace vnx
