// The names of the libpq functions the driver binds, in binding order. Kept apart from
// libpq_api.h so that C code (the tests' stand-in libraries) can use the list too.
#ifndef VNX_LIBPQ_NAMES_H
#define VNX_LIBPQ_NAMES_H

// The required functions, in binding order. A library lacking any one of them is refused.
#define VNX_LIBPQ_REQUIRED(X)                                                                    \
  X(PQconnectdb) X(PQsetdbLogin) X(PQconndefaults) X(PQconnectStart) X(PQconnectPoll)             \
  X(PQreset) X(PQresetStart) X(PQresetPoll) X(PQfinish) X(PQdb) X(PQuser) X(PQpass) X(PQhost)     \
  X(PQport) X(PQtty) X(PQoptions) X(PQstatus) X(PQerrorMessage) X(PQbackendPID) X(PQgetssl)      \
  X(PQenv2encoding) X(PQclientEncoding) X(PQsetClientEncoding) X(PQescapeString)                 \
  X(PQescapeBytea) X(PQunescapeBytea) X(PQfreemem) X(PQexec) X(PQresultStatus) X(PQresStatus)    \
  X(PQntuples) X(PQnfields) X(PQbinaryTuples) X(PQfname) X(PQfnumber) X(PQftable)                \
  X(PQftablecol) X(PQftype) X(PQfsize) X(PQfmod) X(PQgetvalue) X(PQgetlength) X(PQgetisnull)     \
  X(PQcmdStatus) X(PQcmdTuples) X(PQoidValue) X(PQoidStatus) X(PQprint) X(PQclear)               \
  X(PQmakeEmptyPGresult) X(PQsetnonblocking) X(PQisnonblocking) X(PQsendQuery) X(PQgetResult)    \
  X(PQconsumeInput) X(PQisBusy) X(PQflush) X(PQsocket) X(PQrequestCancel) X(PQfn)                \
  X(PQnotifies) X(PQputCopyData) X(PQputCopyEnd) X(PQgetCopyData) X(PQsetErrorVerbosity)         \
  X(PQsetNoticeReceiver) X(PQresultErrorField) X(PQtransactionStatus) X(PQparameterStatus)       \
  X(PQprotocolVersion) X(PQserverVersion) X(PQexecParams) X(PQtrace) X(PQuntrace) X(lo_creat)    \
  X(lo_import) X(lo_export) X(lo_open) X(lo_write) X(lo_read) X(lo_lseek) X(lo_tell)             \
  X(lo_close) X(lo_unlink)

#endif
