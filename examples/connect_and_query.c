/* Loads the Vornex dbExpress driver, connects, runs a query with one parameter and prints
 * the answer: everything a dbExpress application does, in plain C.
 *
 *   gcc -m32 -std=c99 -o connect_and_query connect_and_query.c -ldl
 *   ./connect_and_query 'localhost:5432/postgres,AcceptNewerServers=True' postgres ''
 *
 * Arguments: SERVER USER PASSWORD [LIBRARY] (LIBRARY defaults to libdbexpvnx.so).
 * Prints "answer = 42" and exits with 0, or prints the driver's error text and exits with 1.
 */
#include <dlfcn.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

/* Every operation is stdcall on i386 and takes the interface pointer first. */
#if defined(__i386__)
#define STDCALL __attribute__((stdcall))
#else
#define STDCALL
#endif

typedef uint16_t SQLResult; /* 0 is success */
typedef void *Obj;          /* an interface pointer: the address of a pointer to its table */

/* The first three slots of every table. */
typedef struct {
  int32_t(STDCALL *QueryInterface)(Obj self, const void *iid, Obj *out);
  int32_t(STDCALL *AddRef)(Obj self);
  int32_t(STDCALL *Release)(Obj self);
} IUnknownVtbl;

typedef struct { /* ISQLDriver, slots 3 to 5 */
  IUnknownVtbl u;
  SQLResult(STDCALL *getSQLConnection)(Obj self, Obj *connection);
  SQLResult(STDCALL *SetOption)(Obj self, uint32_t option, intptr_t value);
  SQLResult(STDCALL *GetOption)(Obj self, uint32_t option, void *value, int16_t maxLength, int16_t *length);
} ISQLDriverVtbl;

typedef struct { /* ISQLConnection, slots 3 to 13 */
  IUnknownVtbl u;
  SQLResult(STDCALL *connect)(Obj self, const char *serverName, const char *userName, const char *password);
  SQLResult(STDCALL *disconnect)(Obj self);
  SQLResult(STDCALL *getSQLCommand)(Obj self, Obj *command);
  SQLResult(STDCALL *getSQLMetaData)(Obj self, Obj *metaData);
  SQLResult(STDCALL *SetOption)(Obj self, uint32_t option, intptr_t value);
  SQLResult(STDCALL *GetOption)(Obj self, uint32_t option, void *value, int16_t maxLength, int16_t *length);
  SQLResult(STDCALL *beginTransaction)(Obj self, void *transaction);
  SQLResult(STDCALL *commit)(Obj self, void *transaction);
  SQLResult(STDCALL *rollback)(Obj self, void *transaction);
  SQLResult(STDCALL *getErrorMessage)(Obj self, char *error);
  SQLResult(STDCALL *getErrorMessageLen)(Obj self, int16_t *length);
} ISQLConnectionVtbl;

typedef struct { /* ISQLCommand, slots 3 to 14 */
  IUnknownVtbl u;
  SQLResult(STDCALL *SetOption)(Obj self, uint32_t option, intptr_t value);
  SQLResult(STDCALL *GetOption)(Obj self, uint32_t option, void *value, int16_t maxLength, int16_t *length);
  SQLResult(STDCALL *setParameter)(Obj self, uint16_t number, uint16_t childPosition, uint32_t paramType,
                                   uint16_t logicalType, uint16_t subType, int32_t precision, int32_t scale,
                                   uint32_t length, void *buffer, int32_t indicator);
  SQLResult(STDCALL *getParameter)(Obj self, uint16_t number, uint16_t childPosition, void *value, int32_t length,
                                   int32_t *isBlank);
  SQLResult(STDCALL *prepare)(Obj self, const char *sql, uint16_t paramCount);
  SQLResult(STDCALL *execute)(Obj self, Obj *cursor);
  SQLResult(STDCALL *executeImmediate)(Obj self, const char *sql, Obj *cursor);
  SQLResult(STDCALL *getNextCursor)(Obj self, Obj *cursor);
  SQLResult(STDCALL *getRowsAffected)(Obj self, uint32_t *rows);
  SQLResult(STDCALL *close)(Obj self);
  SQLResult(STDCALL *getErrorMessage)(Obj self, char *error);
  SQLResult(STDCALL *getErrorMessageLen)(Obj self, int16_t *length);
} ISQLCommandVtbl;

typedef struct { /* ISQLCursor, the slots up to getLong (22); the getters go on to slot 30 */
  IUnknownVtbl u;
  SQLResult(STDCALL *SetOption)(Obj self, uint32_t option, intptr_t value);
  SQLResult(STDCALL *GetOption)(Obj self, uint32_t option, void *value, int16_t maxLength, int16_t *length);
  SQLResult(STDCALL *getErrorMessage)(Obj self, char *error);
  SQLResult(STDCALL *getErrorMessageLen)(Obj self, int16_t *length);
  void *describe[12]; /* getColumnCount .. isBlobSizeExact, slots 7 to 18 */
  SQLResult(STDCALL *next)(Obj self);
  SQLResult(STDCALL *getString)(Obj self, uint16_t column, char *value, int32_t *isBlank);
  SQLResult(STDCALL *getShort)(Obj self, uint16_t column, void *value, int32_t *isBlank);
  SQLResult(STDCALL *getLong)(Obj self, uint16_t column, void *value, int32_t *isBlank);
} ISQLCursorVtbl;

/* Slot numbers are the contract: a table that lost or gained an entry fails to compile. */
#define SLOT(type, field, n) typedef char slot_##type##_##field[offsetof(type, field) == (n) * sizeof(void *) ? 1 : -1]
SLOT(ISQLDriverVtbl, GetOption, 5);
SLOT(ISQLConnectionVtbl, getErrorMessageLen, 13);
SLOT(ISQLCommandVtbl, getErrorMessageLen, 14);
SLOT(ISQLCursorVtbl, next, 19);

/* The table behind an interface pointer. */
#define VT(type, obj) (*(type **)(obj))

enum { eConnCallBack = 9, eConnCallBackInfo = 12 };            /* connection options */
enum { paramIN = 1, fldINT32 = 6, DBXERR_EOF = 0x000A };

/* The trace record the driver fills for each line of its trace: 1034 bytes on i386. */
#pragma pack(push, 1)
typedef struct {
  char text[1024]; /* NUL-terminated unless the chunk fills it */
  int32_t category;
  uintptr_t clientData; /* what eConnCallBackInfo set */
  uint16_t totalMsgLen;
} SQLTRACEDesc;
#pragma pack(pop)

/* Shows the SQL the driver sends (category 1) on the stream eConnCallBackInfo names. */
static int32_t STDCALL Trace(int32_t callType, void *info) {
  const SQLTRACEDesc *d = info;
  (void)callType;
  if (d->category == 1) fprintf((FILE *)d->clientData, "sql: %.1024s\n", d->text);
  return 0;
}

/* The failure's text from the object that failed: its length first, then the text. */
static int Fail(const char *what, SQLResult rc, Obj self, SQLResult(STDCALL *getLen)(Obj, int16_t *),
                SQLResult(STDCALL *get)(Obj, char *)) {
  int16_t len = 0;
  char *text;
  getLen(self, &len);
  text = malloc(len > 0 ? (size_t)len + 1 : 1);
  if (text) {
    text[0] = '\0';
    get(self, text);
  }
  fprintf(stderr, "%s failed (0x%04X): %s\n", what, rc, text ? text : "");
  free(text);
  return 1;
}

int main(int argc, char **argv) {
  const char *library = argc > 4 ? argv[4] : "libdbexpvnx.so";
  SQLResult(STDCALL *getDriver)(const char *vendorLib, const char *resourceFile, Obj *driver);
  Obj driver = NULL, conn = NULL, cmd = NULL, cursor = NULL;
  int32_t value = 41, answer = 0, isBlank = 0;
  SQLResult rc;
  int status = 1;
  void *lib;

  if (argc < 4) {
    fprintf(stderr, "usage: %s SERVER USER PASSWORD [LIBRARY]\n", argv[0]);
    return 2;
  }
  lib = dlopen(library, RTLD_NOW);
  if (!lib) {
    fprintf(stderr, "cannot load %s: %s\n", library, dlerror());
    return 1;
  }
  *(void **)&getDriver = dlsym(lib, "getSQLDriverPOSTGRESQL");
  /* The vendor library is the libpq the driver opens; the resource file is not needed. */
  if (!getDriver || getDriver("libpq.so.5", "", &driver) != 0) {
    fprintf(stderr, "%s: no driver\n", library);
    return 1;
  }
  if (VT(ISQLDriverVtbl, driver)->getSQLConnection(driver, &conn) != 0) goto done;
  VT(ISQLConnectionVtbl, conn)->SetOption(conn, eConnCallBack, (intptr_t)&Trace);
  VT(ISQLConnectionVtbl, conn)->SetOption(conn, eConnCallBackInfo, (intptr_t)stderr);

  rc = VT(ISQLConnectionVtbl, conn)->connect(conn, argv[1], argv[2], argv[3]);
  if (rc != 0) {
    Fail("connect", rc, conn, VT(ISQLConnectionVtbl, conn)->getErrorMessageLen,
         VT(ISQLConnectionVtbl, conn)->getErrorMessage);
    goto done;
  }
  if (VT(ISQLConnectionVtbl, conn)->getSQLCommand(conn, &cmd) != 0) goto done;

  /* The driver puts the value of each parameter in place of its "?" as a literal. */
  VT(ISQLCommandVtbl, cmd)->prepare(cmd, "select ? + 1 as answer", 1);
  VT(ISQLCommandVtbl, cmd)->setParameter(cmd, 1, 0, paramIN, fldINT32, 0, 0, 0, sizeof value, &value, 0);
  rc = VT(ISQLCommandVtbl, cmd)->execute(cmd, &cursor);
  if (rc != 0) {
    Fail("execute", rc, cmd, VT(ISQLCommandVtbl, cmd)->getErrorMessageLen, VT(ISQLCommandVtbl, cmd)->getErrorMessage);
    goto done;
  }
  while ((rc = VT(ISQLCursorVtbl, cursor)->next(cursor)) == 0) {
    rc = VT(ISQLCursorVtbl, cursor)->getLong(cursor, 1, &answer, &isBlank);
    if (rc != 0) break;
    if (isBlank) printf("answer is NULL\n");
    else printf("answer = %d\n", (int)answer);
  }
  if (rc != DBXERR_EOF) {
    Fail("reading", rc, cursor, VT(ISQLCursorVtbl, cursor)->getErrorMessageLen,
         VT(ISQLCursorVtbl, cursor)->getErrorMessage);
    goto done;
  }
  status = 0;

done:
  /* Children before their parents: cursor, command, connection, driver. */
  if (cursor) VT(IUnknownVtbl, cursor)->Release(cursor);
  if (cmd) VT(IUnknownVtbl, cmd)->Release(cmd);
  if (conn) {
    VT(ISQLConnectionVtbl, conn)->disconnect(conn);
    VT(IUnknownVtbl, conn)->Release(conn);
  }
  VT(IUnknownVtbl, driver)->Release(driver);
  /* The library stays loaded: libpq, which it opened, stays in the process anyway. */
  return status;
}
