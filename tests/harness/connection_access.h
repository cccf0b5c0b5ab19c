// For unit tests of a connection that is not connected: what only a server would set.
#pragma once

#include "driver/sql_connection.h"

namespace vnx {

struct TVNXConnectionTestAccess {
  static TVNXServerProfile& Server(TVNXISQLConnection& c) { return c.server_; }
  static TVNXConnectionSettings& Settings(TVNXISQLConnection& c) { return c.settings_; }
  static std::string& Database(TVNXISQLConnection& c) { return c.database_; }
  static SQLTRACEDesc& TraceDesc(TVNXISQLConnection& c) { return c.traceDesc_; }
};

}  // namespace vnx
