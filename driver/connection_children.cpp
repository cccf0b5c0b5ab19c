// Creation of the objects a connection hands out: commands and metadata objects.
#include <new>

#include "driver/sql_command.h"
#include "driver/sql_connection.h"
#include "driver/sql_metadata.h"

namespace vnx {

SQLResult TVNXISQLConnection::getSQLCommand(void** command) {
  if (command) *command = nullptr;
  auto* c = new (std::nothrow) TVNXISQLCommand(this);
  if (!c) return DBXERR_NOT_CREATED;
  SetOutInterface(command, c);
  if (!command) {
    c->AddRef();
    c->Release();
  }
  return DBXERR_NONE;
}

SQLResult TVNXISQLConnection::getSQLMetaData(void** metaData) {
  if (metaData) *metaData = nullptr;
  auto* m = new (std::nothrow) TVNXISQLMetaData(this);
  if (!m) return DBXERR_NOT_CREATED;
  InterfaceRef<TVNXISQLMetaData> keep(m);  // freed here when there is no place to store it
  SetOutInterface(metaData, m);
  return DBXERR_NONE;
}

}  // namespace vnx
