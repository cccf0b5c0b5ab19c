// Creation of the objects a connection hands out: commands and metadata objects.
#include "driver/sql_connection.h"

namespace vnx {

SQLResult TVNXISQLConnection::getSQLCommand(void** command) {
  if (command) *command = nullptr;
  return DBXERR_NOT_CREATED;
}

SQLResult TVNXISQLConnection::getSQLMetaData(void** metaData) {
  if (metaData) *metaData = nullptr;
  return DBXERR_NOT_CREATED;
}

}  // namespace vnx
