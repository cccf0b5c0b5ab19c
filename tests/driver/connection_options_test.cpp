// Connection pieces that need no server: option strings and their keys, server names,
// version texts, character-set names, the libpq connection string, and the settings and
// transaction calls of a connection that is not connected.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "driver/connection_options.h"
#include "driver/sql_connection.h"
#include "tests/harness/connection_access.h"
#include "driver/sql_driver.h"
#include "libpq/libpq_api.h"
#include "tests/harness/dbx_client.h"

using namespace vnx;

namespace {

std::vector<std::pair<std::string, std::string>> Split(std::string_view options) {
  std::vector<std::pair<std::string, std::string>> r;
  for (const TVNXOption& o : SplitOptionString(options)) r.emplace_back(o.Key, o.Value);
  return r;
}
using Pairs = std::vector<std::pair<std::string, std::string>>;

TEST(OptionString, SplitsTrimsAndLowerCasesKeys) {
  EXPECT_EQ(Split("TextAsBlob=False,int8mode=asbcd"), (Pairs{{"textasblob", "False"}, {"int8mode", "asbcd"}}));
  EXPECT_EQ(Split(" ByteaMode = asVarBytes ,"), (Pairs{{"byteamode", "asVarBytes"}}));
  EXPECT_EQ(Split(",, ,"), Pairs{});
  EXPECT_EQ(Split(""), Pairs{});
  // Parts after a second "=" are ignored; an empty value is still a value.
  EXPECT_EQ(Split("a=b=c,d="), (Pairs{{"a", "b"}, {"d", ""}}));
  // An element without "=" has no value and is left out, as is one without a key.
  EXPECT_EQ(Split("TextAsBlob,=x,ShowOID=True"), (Pairs{{"showoid", "True"}}));
}

TEST(OptionString, BackslashMakesTheNextCharacterLiteral) {
  EXPECT_EQ(Split("Language=pt\\,BR"), (Pairs{{"language", "pt,BR"}}));
  EXPECT_EQ(Split("k=a\\=b,x\\=y=z"), (Pairs{{"k", "a=b"}, {"x=y", "z"}}));
  // Two backslashes give one, which does not escape what follows.
  EXPECT_EQ(Split("k=a\\\\,m=n"), (Pairs{{"k", "a\\"}, {"m", "n"}}));
  // A backslash that ends the string stands for itself.
  EXPECT_EQ(Split("k=a\\"), (Pairs{{"k", "a\\"}}));
}

class ConnectionObject : public ::testing::Test {
 protected:
  void SetUp() override {
    driver = new TVNXISQLDriver("", "");
    driver->AddRef();
    conn = NewConnection();
  }
  void TearDown() override {
    for (TVNXISQLConnection* c : connections) c->Release();
    driver->Release();
  }
  TVNXISQLConnection* NewConnection() {
    auto* c = new TVNXISQLConnection(driver);
    c->AddRef();
    connections.push_back(c);
    return c;
  }
  std::string GetText(std::uint32_t option, std::int16_t maxLength = 100, std::int16_t* length = nullptr) {
    std::vector<char> buf(static_cast<std::size_t>(maxLength) + 1, '\x7f');
    std::int16_t len = -5;
    EXPECT_EQ(conn->GetOption(option, buf.data(), maxLength, &len), 0);
    if (length) *length = len;
    return buf.data();
  }

  TVNXISQLDriver* driver = nullptr;
  TVNXISQLConnection* conn = nullptr;
  std::vector<TVNXISQLConnection*> connections;
};

TEST_F(ConnectionObject, DefaultsOfANewConnection) {
  const TVNXMappingOptions& m = conn->MappingOptions();
  EXPECT_TRUE(m.TextAsBlob && m.MapUnknownAsString && m.ArrayAsString);
  EXPECT_EQ(m.Int8Mode, TVNXInt8Mode::AsInt8);
  EXPECT_EQ(m.ByteaMode, TVNXByteaMode::asGraphic);
  EXPECT_FALSE(m.LargeBcdAsString || m.BorlandCompatible || m.DBX4Compatible || m.UnicodeAsWideString);
  EXPECT_EQ(m.MaxNameLength, 64);
  EXPECT_EQ(conn->Settings().ConnectionTimeout, -1);
  EXPECT_EQ(conn->Settings().FetchRows, 0);
  EXPECT_TRUE(conn->Settings().UseQualifiedNames && conn->Settings().RestrictedNameSpace);
  EXPECT_FALSE(conn->Settings().ShowOID || conn->Settings().QuoteObjects || conn->Settings().RequireSSL || conn->Settings().GetExtendedFieldsInformation);
  EXPECT_EQ(conn->Settings().ServerDecimalSeparator, '\0');
}

TEST_F(ConnectionObject, EveryKeyAndItsValueRules) {
  conn->ApplyOptions(
      "TextAsBlob=False,MapUnknownAsString=false,ArrayAsString=FALSE,ByteaMode=ASBLOB,DBX4Compatible=true,"
      "Int8Mode=asstring,BorlandCompatible=True,UnicodeAsWideString=True,LargeBcdAsString=True,"
      "QuoteObjects=True,RequireSSL=True,ConnectionTimeout=15,GetExtendedFieldsInformation=True,"
      "UseQualifiedNames=False,RestrictedNameSpace=False,ShowOID=True,ServerDecimalSeparator=;x,"
      "BlockRead=True,LogDeclareFetch=whatever,Language=pt,NoSuchKey=1,FetchRows=1000");
  const TVNXMappingOptions& m = conn->MappingOptions();
  EXPECT_FALSE(m.TextAsBlob || m.MapUnknownAsString || m.ArrayAsString);
  EXPECT_EQ(m.ByteaMode, TVNXByteaMode::asBlob);
  EXPECT_EQ(m.Int8Mode, TVNXInt8Mode::AsString);
  EXPECT_TRUE(m.DBX4Compatible && m.BorlandCompatible && m.UnicodeAsWideString && m.LargeBcdAsString);
  EXPECT_TRUE(conn->Settings().QuoteObjects && conn->Settings().RequireSSL && conn->Settings().GetExtendedFieldsInformation && conn->Settings().ShowOID);
  EXPECT_FALSE(conn->Settings().UseQualifiedNames || conn->Settings().RestrictedNameSpace);
  EXPECT_EQ(conn->Settings().ConnectionTimeout, 15);
  EXPECT_EQ(conn->Settings().FetchRows, 1000);
  EXPECT_EQ(conn->Settings().ServerDecimalSeparator, ';');

  const std::vector<std::pair<const char*, TVNXInt8Mode>> modes = {
      {"ignore", TVNXInt8Mode::Ignore}, {"AsInt4", TVNXInt8Mode::AsInt4},
      {"asbcd", TVNXInt8Mode::AsBcd}, {"ASINT8", TVNXInt8Mode::AsInt8}};
  for (auto [text, mode] : modes) {
    conn->ParseOption("int8mode", text);
    EXPECT_EQ(m.Int8Mode, mode) << text;
  }
  conn->ParseOption("byteamode", "asVarBytes");
  EXPECT_EQ(m.ByteaMode, TVNXByteaMode::asVarBytes);
  conn->ParseOption("byteamode", "asGraphic");
  EXPECT_EQ(m.ByteaMode, TVNXByteaMode::asGraphic);
}

TEST_F(ConnectionObject, ValuesOutsideTheRulesChangeNothing) {
  conn->ApplyOptions("TextAsBlob=yes,Int8Mode=AsInt16,ByteaMode=,ConnectionTimeout=abc,ServerDecimalSeparator=");
  EXPECT_TRUE(conn->MappingOptions().TextAsBlob);
  EXPECT_EQ(conn->MappingOptions().Int8Mode, TVNXInt8Mode::AsInt8);
  EXPECT_EQ(conn->MappingOptions().ByteaMode, TVNXByteaMode::asGraphic);
  EXPECT_EQ(conn->Settings().ConnectionTimeout, -1);
  EXPECT_EQ(conn->Settings().ServerDecimalSeparator, '\0');
  conn->ApplyOptions("ConnectionTimeout=0");
  EXPECT_EQ(conn->Settings().ConnectionTimeout, 0);
  conn->ApplyOptions("ConnectionTimeout=99999999999,ConnectionTimeout=7x");
  EXPECT_EQ(conn->Settings().ConnectionTimeout, 0);
  conn->ApplyOptions("FetchRows=5,FetchRows=-1,FetchRows=1e3,FetchRows=4294967296,FetchRows=");
  EXPECT_EQ(conn->Settings().FetchRows, 5);
  conn->ApplyOptions("FetchRows=0");
  EXPECT_EQ(conn->Settings().FetchRows, 0);
  // What the trace says of each (category 8): the key as written, the value, what it takes.
  const std::pair<const char*, const char*> complaints[] = {
      {"AcceptNewerServers=1", "The option AcceptNewerServers=1 was ignored: expected True or False"},
      {"Int8Mode=AsInt16", "expected one of AsInt8, Ignore, AsString, AsInt4, AsBcd"},
      {"QueryTimeout=-5", "expected a whole number"},
      {"ServerDecimalSeparator=", "expected one character"},
      {"NoSuchKey=x", "The option NoSuchKey=x was ignored: neither the driver nor libpq knows the key"},
      {"pasword=secret", "pasword=********"},
  };
  TVNXConnectionSettings settings;
  for (const auto& [option, complaint] : complaints) {
    const TVNXOption o = SplitOptionString(option).at(0);
    EXPECT_NE(settings.ApplyOption(o.Key, o.Value, nullptr, o.Written).find(complaint), std::string::npos) << option;
  }
}

TEST_F(ConnectionObject, TypesCachingModeBelongsToTheDriver) {
  TVNXISQLConnection* other = NewConnection();
  conn->ApplyOptions("TypesCachingMode=Once");
  EXPECT_EQ(driver->TypesCachingMode, 1);
  other->ApplyOptions("typescachingmode=cursor");
  EXPECT_EQ(driver->TypesCachingMode, 3);
  other->ApplyOptions("TypesCachingMode=Sometimes");
  EXPECT_EQ(driver->TypesCachingMode, 3);
  conn->ApplyOptions("TypesCachingMode=connection");
  EXPECT_EQ(driver->TypesCachingMode, 2);
  // A connection without a driver has nowhere to put it and ignores it.
  TVNXISQLConnection loose(nullptr);
  loose.ApplyOptions("TypesCachingMode=Default");
  EXPECT_EQ(driver->TypesCachingMode, 2);
}

TEST(ServerName, HostsDatabaseAndOptions) {
  // hosts as HostText writes them, joined by "|"; an empty `error` means the name reads.
  const struct {
    const char* name;
    const char* hosts;
    const char* database;
    const char* options;
    const char* error;
  } cases[] = {
      {"mydb", "localhost", "mydb", "", ""},
      {"/mydb", "", "mydb", "", ""},
      {"", "", "", "", ""},
      {"dbhost:5433/mydb,TextAsBlob=False", "dbhost:5433", "mydb", "TextAsBlob=False", ""},
      {"dbhost:abc/mydb", "dbhost", "mydb", "", ""},  // a port that is no number is left out
      {"/tmp/sock:5432/db", "/tmp/sock:5432", "db", "", ""},
      {":5433/db", ":5433", "db", "", ""},
      // A "/" in an option value leaves the database where it is.
      {"dbhost/mydb,Language=a/b", "dbhost", "mydb", "Language=a/b", ""},
      {"127.0.0.1:57010/appdb,sslrootcert=/etc/ssl/ca.crt", "127.0.0.1:57010", "appdb",
       "sslrootcert=/etc/ssl/ca.crt", ""},
      {"db,TextAsBlob,k=a\\,b/c", "localhost", "db", "TextAsBlob,k=a\\,b/c", ""},
      {"h1:5432, h2:5433/db", "h1:5432|h2:5433", "db", "", ""},
      {"[::1]:5432,[fe80::1%eth0],/run/pg/db", "[::1]:5432|[fe80::1%eth0]|/run/pg", "db", "", ""},
      {"::1/db", "", "", "", "brackets"},
      {"[::1/db", "", "", "", "not closed"},
      {"[::1]x:5432/db", "", "", "", "only a port"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (*c.error) {
      try {
        ParseServerName(c.name);
        ADD_FAILURE() << "read";
      } catch (const std::exception& e) {
        EXPECT_NE(std::string(e.what()).find(c.error), std::string::npos) << e.what();
      }
      continue;
    }
    const TVNXServerName n = ParseServerName(c.name);
    std::string hosts;
    for (const TVNXHost& h : n.Hosts) hosts += (hosts.empty() ? "" : "|") + HostText(h);
    EXPECT_EQ(hosts, c.hosts);
    EXPECT_EQ(n.Database, c.database);
    EXPECT_EQ(n.Options, c.options);
  }
}

TEST_F(ConnectionObject, ConnectionStringFromServerNameAndSettings) {
  TVNXConnectionParams p = conn->PrepareConnect("dbhost:5433/mydb,TextAsBlob=False", "me", "secret");
  EXPECT_EQ(conn->Database(), "mydb");
  EXPECT_EQ(conn->Settings().Port, "5433");
  EXPECT_FALSE(conn->MappingOptions().TextAsBlob);
  EXPECT_EQ(BuildConnectionString(p), "host='dbhost' dbname='mydb' port=5433 user='me' password='secret'");

  // A port that is not a number gives no port piece.
  p = conn->PrepareConnect("dbhost:abc/mydb", "", "");
  EXPECT_EQ(BuildConnectionString(p), "host='dbhost' dbname='mydb'");
  p = conn->PrepareConnect("mydb", "", "");
  EXPECT_EQ(BuildConnectionString(p), "host='localhost' dbname='mydb'");
  p = conn->PrepareConnect("/mydb", "", "");
  EXPECT_EQ(BuildConnectionString(p), "dbname='mydb'");

  // The host name setting overrides host and port; a port set through SetOption does not
  // survive the parsing of the server name.
  conn->SetOption(eConnServerPort, 7777);
  EXPECT_EQ(conn->Settings().Port, "7777");
  conn->SetOption(eConnHostName, reinterpret_cast<OptionValue>(" otherhost : 6000 "));
  p = conn->PrepareConnect("dbhost:5433/mydb,RequireSSL=True,ConnectionTimeout=10", "", "");
  EXPECT_EQ(BuildConnectionString(p), "host='otherhost' dbname='mydb' port=6000 connect_timeout=10 sslmode=require");
  conn->SetOption(eConnHostName, reinterpret_cast<OptionValue>("h2"));
  p = conn->PrepareConnect("dbhost:5433/mydb", "", "");
  EXPECT_EQ(BuildConnectionString(p), "host='h2' dbname='mydb' port=5433 connect_timeout=10 sslmode=require");
  // The host name setting takes a list too; each host keeps its own port.
  conn->SetOption(eConnHostName, reinterpret_cast<OptionValue>("h1:5432,[::1]"));
  p = conn->PrepareConnect("dbhost:5433/mydb", "", "");
  EXPECT_EQ(BuildConnectionString(p), "host='h1,::1' dbname='mydb' port=5432, connect_timeout=10 sslmode=require");
}

TEST(ConnectionString, ValuesAreQuotedSoTheyCannotAddKeywords) {
  EXPECT_EQ(QuoteConnectionValue("p w'd"), "'p w\\'d'");
  EXPECT_EQ(QuoteConnectionValue("a\\b"), "'a\\\\b'");
  TVNXConnectionParams p;
  p.Database = "x host=elsewhere";
  p.Password = "' host='evil";
  EXPECT_EQ(BuildConnectionString(p), "dbname='x host=elsewhere' password='\\' host=\\'evil'");
  p = {};
  p.ConnectionTimeout = 0;
  EXPECT_EQ(BuildConnectionString(p), "connect_timeout=0");
}

TEST(ServerVersion, NumberFromVersionText) {
  EXPECT_DOUBLE_EQ(ServerVersionNumber("PostgreSQL 8.3.7 on i686"), 8.37);
  EXPECT_DOUBLE_EQ(ServerVersionNumber("PostgreSQL 7.4"), 7.4);
  EXPECT_DOUBLE_EQ(ServerVersionNumber("PostgreSQL 8.1.10 on x"), 8.110);
  EXPECT_DOUBLE_EQ(ServerVersionNumber("  EnterpriseDB 8.3.0.12 on i686"), 8.3012);
  EXPECT_DOUBLE_EQ(ServerVersionNumber("PostgreSQL 8.3.23"), 8.323);
  EXPECT_DOUBLE_EQ(ServerVersionNumber("PostgreSQL 7.1.3"), 7.13);
  EXPECT_EQ(ServerVersionNumber("PostgreSQL 8.4.0"), 8.4);
  EXPECT_EQ(ServerVersionNumber("PostgreSQL 7.1"), 7.1);
  EXPECT_DOUBLE_EQ(ServerVersionNumber("PostgreSQL8.2beta1"), 8.2);
  EXPECT_EQ(ServerVersionNumber("Ingres 9.2.0"), -1);
  EXPECT_EQ(ServerVersionNumber("postgresql 8.3.7"), -1);  // the product name is case-sensitive
  EXPECT_EQ(ServerVersionNumber("PostgreSQL devel"), -1);
  EXPECT_EQ(ServerVersionNumber("PostgreSQL ..."), -1);
  EXPECT_EQ(ServerVersionNumber(""), -1);
}

TEST(CharSet, EncodingNames) {
  EXPECT_EQ(CharSetToEncoding("default"), "SQL_ASCII");
  EXPECT_EQ(CharSetToEncoding(" SQL_ASCII "), "SQL_ASCII");
  EXPECT_EQ(CharSetToEncoding("LATIN1"), "latin1");
  EXPECT_EQ(CharSetToEncoding("latin10"), "latin10");
  EXPECT_EQ(CharSetToEncoding("EUC_JP"), "euc_jp");
  EXPECT_EQ(CharSetToEncoding("Koi8"), "koi8");
  EXPECT_EQ(CharSetToEncoding("ISO_8859_5"), "iso_8859_5");
  EXPECT_EQ(CharSetToEncoding("iso_8859_9"), "iso_8859_9");
  EXPECT_EQ(CharSetToEncoding("iso-8859-1"), "");
  EXPECT_EQ(CharSetToEncoding("utf8"), "");
  EXPECT_EQ(CharSetToEncoding(""), "");
}

TEST_F(ConnectionObject, SetAndGetOptions) {
  std::uint8_t byte = 9;
  std::int16_t length = -5;
  conn->GetOption(eConnBlockingMode, &byte, 1, &length);
  EXPECT_EQ(byte, 1);
  EXPECT_EQ(length, 1);
  conn->SetOption(eConnBlockingMode, 0x101);  // the low byte counts
  EXPECT_TRUE(conn->Settings().AsyncMode);
  conn->GetOption(eConnBlockingMode, &byte, 1, &length);
  EXPECT_EQ(byte, 0);
  conn->SetOption(eConnBlockingMode, 0x100);
  EXPECT_FALSE(conn->Settings().AsyncMode);

  std::int32_t blob = 0;
  length = -5;
  conn->SetOption(eConnBlobSize, 4096);
  conn->GetOption(eConnBlobSize, &blob, 4, &length);
  EXPECT_EQ(blob, 4096);
  EXPECT_EQ(length, -5);

  // Isolation levels: 0 and 1 are recorded, 2 refused, others ignored.
  std::uint32_t level = 9;
  conn->GetOption(eConnTxnIsoLevel, &level, 4, &length);
  EXPECT_EQ(level, xilREADCOMMITTED);
  EXPECT_EQ(conn->SetOption(eConnTxnIsoLevel, xilREPEATABLEREAD), 0);
  conn->GetOption(eConnTxnIsoLevel, &level, 4, &length);
  EXPECT_EQ(level, xilREPEATABLEREAD);
  EXPECT_EQ(conn->SetOption(eConnTxnIsoLevel, xilCUSTOM), 0);
  EXPECT_EQ(conn->Settings().IsolationLevel, 2);
  EXPECT_EQ(conn->SetOption(eConnTxnIsoLevel, xilDIRTYREAD), DBXERR_INVALIDTXNISOLEVEL);
  EXPECT_EQ(conn->ErrorMessage, "Transaction mode not supported by PostgreSQL");
  EXPECT_EQ(conn->SetOption(eConnTxnIsoLevel, xilREADCOMMITTED), 0);
  conn->GetOption(eConnTxnIsoLevel, &level, 4, &length);
  EXPECT_EQ(level, xilREADCOMMITTED);
  EXPECT_EQ(conn->Settings().IsolationLevel, 1);

  void* handle = reinterpret_cast<void*>(1);
  conn->GetOption(eConnNativeHandle, &handle, 8, &length);
  EXPECT_EQ(handle, nullptr);
  EXPECT_EQ(length, static_cast<std::int16_t>(sizeof(void*)));

  conn->SetOption(eConnCallBackInfo, 0x1234);
  OptionValue info = 0;
  conn->GetOption(eConnCallBackInfo, &info, 8, &length);
  EXPECT_EQ(info, 0x1234);

  conn->SetOption(eConnHostName, reinterpret_cast<OptionValue>("somehost:5555"));
  EXPECT_EQ(GetText(eConnHostName, 100, &length), "somehost:5555");
  EXPECT_EQ(length, 14);
  // Truncated to MaxLength characters; Length still tells the full length.
  EXPECT_EQ(GetText(eConnHostName, 4, &length), "some");
  EXPECT_EQ(length, 14);
  conn->SetOption(eConnDatabaseName, reinterpret_cast<OptionValue>("db1"));
  EXPECT_EQ(GetText(eConnDatabaseName), "db1");
  conn->SetOption(eConnRoleName, reinterpret_cast<OptionValue>("s1, public"));
  EXPECT_EQ(conn->Settings().SearchPath, "s1, public");
  conn->SetOption(eConnTrimChar, 0x201);
  EXPECT_TRUE(conn->Settings().TrimChar);

  EXPECT_EQ(GetText(eConnObjectQuoteChar, 10, &length), "\"");
  EXPECT_EQ(length, 2);

  EXPECT_FALSE(conn->MappingOptions().DBX4Compatible);
  std::uint32_t untouched = 0xDEADBEEF;
  conn->GetOption(eConnDBX4Compatible, &untouched, 4, &length);
  EXPECT_TRUE(conn->MappingOptions().DBX4Compatible);
  EXPECT_EQ(untouched, 0xDEADBEEFu);
  // An ordinal the connection does not handle is accepted and leaves everything alone.
  EXPECT_EQ(conn->SetOption(eConnAutoCommit, 1), 0);
  length = -5;
  EXPECT_EQ(conn->GetOption(eConnAutoCommit, &untouched, 4, &length), 0);
  EXPECT_EQ(untouched, 0xDEADBEEFu);
  EXPECT_EQ(length, -5);
}

TEST_F(ConnectionObject, ServerCharSetIsSplitAtTheFirstSlash) {
  conn->SetOption(eConnServerCharSet, reinterpret_cast<OptionValue>("LATIN1"));
  EXPECT_EQ(conn->Settings().CharSet, "LATIN1");
  EXPECT_EQ(conn->ClientEncoding(), "");
  std::int16_t length = -5;
  EXPECT_EQ(GetText(eConnServerCharSet, 100, &length), "LATIN1");
  EXPECT_EQ(length, -5);  // the length is not reported for this option
  conn->SetOption(eConnServerCharSet, reinterpret_cast<OptionValue>(" latin2 / UTF8 /x"));
  EXPECT_EQ(conn->Settings().CharSet, "latin2");
  EXPECT_EQ(conn->ClientEncoding(), "UTF8 /x");
  conn->SetOption(eConnServerCharSet, reinterpret_cast<OptionValue>("/UTF8"));
  EXPECT_EQ(GetText(eConnServerCharSet), "/UTF8");
  conn->SetOption(eConnServerCharSet, 0);
  EXPECT_EQ(GetText(eConnServerCharSet), "");
}

TEST_F(ConnectionObject, WithoutAServerConnection) {
  PGresult* result = reinterpret_cast<PGresult*>(1);
  std::string error;
  EXPECT_FALSE(conn->ExecQuery("select 1", result, error));
  EXPECT_EQ(result, nullptr);
  EXPECT_EQ(error, "No PPGconn Connection handle.");
  EXPECT_FALSE(conn->ExecSQL("select 1", error));

  TTransactionDesc custom{1, 0, xilCUSTOM, 0};
  EXPECT_EQ(conn->beginTransaction(&custom), DBXERR_INVALIDTXNISOLEVEL);
  EXPECT_EQ(conn->ErrorMessage, "Transaction mode not supported by PostgreSQL");
  TTransactionDesc dirty{1, 0, xilDIRTYREAD, 0};
  EXPECT_EQ(conn->beginTransaction(&dirty), DBXERR_INVALIDTXNISOLEVEL);
  TTransactionDesc serial{1, 0, xilREPEATABLEREAD, 0};
  EXPECT_EQ(conn->beginTransaction(&serial), DBXERR_FAILED);
  EXPECT_EQ(conn->ErrorMessage, "No PPGconn Connection handle.");
  EXPECT_FALSE(conn->InTransaction());
  EXPECT_EQ(conn->Settings().IsolationLevel, 2);  // recorded although the statement failed
  EXPECT_EQ(conn->commit(&serial), 0);
  EXPECT_EQ(conn->rollback(nullptr), 0);

  // disconnect of an object that never connected only clears the texts.
  vnx::TVNXConnectionTestAccess::Database(*conn) = "db";
  vnx::TVNXConnectionTestAccess::Settings(*conn).SearchPath = "kept";
  EXPECT_EQ(conn->disconnect(), 0);
  EXPECT_EQ(conn->Database(), "");
  EXPECT_EQ(conn->ErrorMessage, "");
  EXPECT_EQ(conn->Settings().SearchPath, "kept");

  char buf[16];
  std::memset(buf, 'x', sizeof buf);
  std::int16_t length = -5;
  std::string before = conn->ErrorMessage = "earlier";
  EXPECT_EQ(conn->GetOption(eConnServerVersion, buf, 10, &length), DBXERR_FAILED);
  EXPECT_EQ(buf[0], '\0');
  EXPECT_EQ(length, 0);
  EXPECT_EQ(conn->ErrorMessage, before);
}

}  // namespace

namespace {

std::vector<std::pair<std::string, std::int32_t>> g_loadTrace;

std::int32_t VNX_STDCALL CollectLoad(std::int32_t, void* info) {
  auto* desc = static_cast<SQLTRACEDesc*>(info);
  g_loadTrace.emplace_back(std::string(desc->pszTrace, strnlen(desc->pszTrace, sizeof desc->pszTrace)),
                           desc->eTraceCat);
  return 0;
}

TEST(ConnectWithoutLibpq, LoaderFailureIsStoredAndTracedAsDiagnostic) {
  // A library copy of its own has bound no libpq, whatever earlier tests of this process did.
  const vnxtest::DriverLibrary fresh = vnxtest::FreshLibraryCopy();
  auto connectWith = [&fresh](const char* vendorLib) {
    g_loadTrace.clear();
    vnxtest::Driver driver = vnxtest::GetDriver(fresh, vendorLib);
    vnxtest::Connection conn = vnxtest::NewConnection(driver);
    conn.call(&ISQLConnectionVtbl::SetOption, eConnCallBack, reinterpret_cast<OptionValue>(&CollectLoad));
    EXPECT_EQ(conn.call(&ISQLConnectionVtbl::connect, "/nonexistent-dir:1/nodb", "u", "p"), DBXERR_FAILED);
    void* handle = reinterpret_cast<void*>(1);
    std::int16_t length = 0;
    conn.call(&ISQLConnectionVtbl::GetOption, eConnNativeHandle, &handle, std::int16_t(sizeof handle), &length);
    EXPECT_EQ(handle, nullptr);
    return vnxtest::ErrorOf(conn);
  };
  const std::string error = connectWith("libvnx_no_such_libpq.so");
  const std::string prefix = "Could not load the LIBPQ library [libvnx_no_such_libpq.so]; reason: [";
  EXPECT_EQ(error.rfind(prefix, 0), 0u) << error;
  ASSERT_EQ(g_loadTrace.size(), 4u);
  EXPECT_EQ(g_loadTrace[0].first.rfind("Vornex Driver v", 0), 0u);
  EXPECT_EQ(g_loadTrace[1].first.rfind("Vornex library: ", 0), 0u);
  EXPECT_EQ(g_loadTrace[2], std::make_pair(std::string("Loading PostgreSQL interface Library libvnx_no_such_libpq.so"), 8));
  EXPECT_EQ(g_loadTrace[3], std::make_pair(error, 8));
  // Both places a relative name was looked for say why they failed.
  EXPECT_NE(error.find("search path"), std::string::npos) << error;
  EXPECT_NE(error.find("program's folder"), std::string::npos) << error;
  // Nothing stayed bound: the next connect loads the library it names. Without a name the
  // development link libpq.so is tried, then the library itself, libpq.so.5 (which is all an
  // i386 system without libpq-dev:i386 has).
  const bool onlySoname = std::string(VNX_TEST_LIBPQ) == "libpq.so.5";
  connectWith(onlySoname ? "" : VNX_TEST_LIBPQ);
  ASSERT_GE(g_loadTrace.size(), 3u);
  if (onlySoname) {
    EXPECT_EQ(g_loadTrace[3].first.find("trying libpq.so.5"), g_loadTrace[3].first.size() - 17) << g_loadTrace[3].first;
    EXPECT_EQ(g_loadTrace[4], std::make_pair(std::string("Libpq: libpq.so.5"), 8));
  } else {
    EXPECT_EQ(g_loadTrace[2], std::make_pair(std::string("Loading PostgreSQL interface Library ") + VNX_TEST_LIBPQ, 8));
  }
}

}  // namespace
