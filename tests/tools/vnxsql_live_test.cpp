// The shell against the test server: typed values and parameters, NULLs and BLOBs, errors
// and the exit status, transactions, metadata commands, the trace, and the program itself.
//
// With VNXSQL_PROGRAM set (to the vnxsql of an unpacked package), every test runs that
// program as a process of its own instead of the shell's code linked into this test.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <tuple>

#include "tests/harness/test_server.h"
#include "tests/i18n/i18n_test_util.h"
#include "tools/vnxsql/shell.h"

using namespace vnxtest;

namespace {

struct ShellRun {
  int status = -1;
  std::string out, err;
};

std::string Program() {
  const char* p = std::getenv("VNXSQL_PROGRAM");
  return p ? p : "";
}

// What runs the program: the build's emulator, or VNXSQL_EMULATOR from the environment
// (qemu-i386 -L ROOT runs it on the C library under ROOT).
std::string Emulator() {
  const char* e = std::getenv("VNXSQL_EMULATOR");
  return e ? e : VNXSQL_EMULATOR;
}

std::string ShellQuoted(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// The shell command that runs program with environment settings ("NAME=value ...") before
// it, its input, output and error in dir.
std::string ProgramCommand(const std::vector<std::string>& args, const ScratchDir& dir, const std::string& program,
                           const std::string& environment = "") {
  std::string cmd = environment + " " + Emulator() + " " + ShellQuoted(program);
  for (const std::string& a : args) cmd += " " + ShellQuoted(a);
  return cmd + " <" + dir / "in" + " >" + dir / "out" + " 2>" + dir / "err";
}

// Runs the program (by default the one VNXSQL_PROGRAM names).
ShellRun RunProgram(const std::vector<std::string>& args, const std::string& input,
                    const std::string& program = Program(), const std::string& environment = "") {
  ScratchDir dir;
  WriteFile(dir / "in", input);
  const int status = std::system(ProgramCommand(args, dir, program, environment).c_str());
  ShellRun r;
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.out = ReadFile(dir / "out");
  r.err = ReadFile(dir / "err");
  return r;
}

ShellRun Shell(std::vector<std::string> args, const std::string& input = {}, const std::string& options = {}) {
  args.insert(args.begin(), {"-U", kRole83, TestServer::Get().SocketServerName(options)});
  if (std::getenv("VNX_TEST_LIBPQ")) args.insert(args.begin(), {"--vendor-lib", VNX_TEST_LIBPQ});
  if (!Program().empty()) return RunProgram(args, input);
  std::istringstream in(input);
  std::ostringstream out, err;
  ShellRun r;
  r.status = vnxsql::RunShell(args, in, out, err);
  r.out = out.str();
  r.err = err.str();
  return r;
}

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class VnxsqlLive : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (TestServer::Get().port.empty()) return;
    TestServer::Get().Psql(
        "set role vnx83; drop table if exists public.vnxsql_items;"
        "drop function if exists public.vnxsql_twice(int4);"
        "create table public.vnxsql_items (id serial primary key, name varchar(20) not null,"
        " price numeric(10,2), big int8, ratio float8, ok bool, day date, at time, stamp timestamp,"
        " note text, raw bytea, obj lo);"
        "create index vnxsql_items_name on public.vnxsql_items (name);"
        "create function public.vnxsql_twice(n int4) returns int8 language sql as 'select 2::int8 * n';");
  }
  void SetUp() override { VNX_REQUIRE_SERVER(); }
};

TEST_F(VnxsqlLive, TypedParametersGoInAndEveryColumnComesBackThroughItsGetter) {
  ShellRun r = Shell({"-p", "O'Brien", "-p", "num:-12.50", "-p", "int8:-9000000000", "-p", "float:0.25", "-p", "bool:true",
                 "-p", "date:2024-02-29", "-p", "time:13:45:07.250", "-p", "ts:2004-05-06 07:08:09.005", "-p",
                 "memo:line one", "-p", "bytes:00ff10", "-p", "null"},
                "delete from vnxsql_items;\n"
                "insert into vnxsql_items (name, price, big, ratio, ok, day, at, stamp, note, raw, obj)\n"
                "  values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, lo_from_bytea(0, decode('414243', 'hex'))::oid);\n"
                "insert into vnxsql_items (name, price) values ('second', ?);\n"
                "select name, price, big, ratio, ok, day, at, stamp, note, raw, obj from vnxsql_items order by id;\n");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(Has(r.out, "(1 row affected)")) << r.out;
  for (const char* v : {"O'Brien", "-12.50", "-9000000000", "0.25", "true", "2024-02-29", "13:45:07",
                        "2004-05-06 07:08:09", "line one", "\\x00ff10", "\\x414243", "(2 rows)"})
    EXPECT_TRUE(Has(r.out, v)) << v << "\n" << r.out;
  // The NULL parameter and the columns left out read as NULL, shown apart from any text.
  std::istringstream lines(r.out);
  std::string line, second;
  while (std::getline(lines, line))
    if (Has(line, "second")) second = line;
  EXPECT_TRUE(Has(second, "(null)")) << r.out;
}

TEST_F(VnxsqlLive, AFailedStatementIsReportedAndTheScriptGoesOn) {
  ShellRun r = Shell({}, "select * from vnxsql_nonexistent;\nselect 42 as answer;\n\\nosuch\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Has(r.err, "ERROR 0x2000:")) << r.err;
  EXPECT_TRUE(Has(r.err, "vnxsql_nonexistent")) << r.err;
  EXPECT_TRUE(Has(r.err, "unknown command \\nosuch")) << r.err;
  EXPECT_TRUE(Has(r.out, "42")) << r.out;
  // Too few values for the markers: nothing is sent.
  r = Shell({"-c", "select ? + ?;"}, "");
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Has(r.err, "2 \"?\" markers but 0 parameter values")) << r.err;
  r = Shell({"-c", "select 1;", "-c", "select 'fine';"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
}

TEST_F(VnxsqlLive, TransactionCommandsUseTheConnectionsTransactions) {
  ShellRun r = Shell({}, "\\begin\ninsert into vnxsql_items (name) values ('rolled back');\n\\rollback\n"
                    "select count(*) as n from vnxsql_items where name = 'rolled back';\n"
                    "\\begin serializable\n\\commit\n\\begin chaotic\n");
  EXPECT_EQ(r.status, 1);  // the unknown isolation level
  EXPECT_TRUE(Has(r.out, "(transaction started)"));
  EXPECT_TRUE(Has(r.out, "(rolled back)"));
  EXPECT_TRUE(Has(r.out, "(committed)"));
  EXPECT_TRUE(Has(r.out, " 0\n")) << r.out;
  EXPECT_TRUE(Has(r.err, "unknown isolation level")) << r.err;
}

TEST_F(VnxsqlLive, MetadataCommandsAndColumnDescriptions) {
  ShellRun r = Shell({"-c", "\\dt public.vnxsql%", "-c", "\\d vnxsql_items", "-c", "\\di vnxsql_items", "-c",
                 "\\df vnxsql_twice", "-c", "\\describe select id, big, price, note from vnxsql_items"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(Has(r.out, "public.vnxsql_items | table")) << r.out;
  // \d: server and dbExpress types, sizes, the serial key.
  EXPECT_TRUE(Has(r.out, "| id     | int4")) << r.out;
  EXPECT_TRUE(Has(r.out, "auto-increment")) << r.out;
  EXPECT_TRUE(Has(r.out, "fldZSTRING")) << r.out;
  EXPECT_TRUE(Has(r.out, "fldBLOB/fldstMEMO")) << r.out;
  EXPECT_TRUE(Has(r.out, "(12 rows)")) << r.out;
  EXPECT_TRUE(Has(r.out, "vnxsql_items_pkey")) << r.out;
  EXPECT_TRUE(Has(r.out, "primary key")) << r.out;
  EXPECT_TRUE(Has(r.out, "non-unique")) << r.out;
  EXPECT_TRUE(Has(r.out, "public.vnxsql_twice")) << r.out;
  EXPECT_TRUE(Has(r.out, "| Arg1      |")) << r.out;
  EXPECT_TRUE(Has(r.out, "result")) << r.out;
  // The name is asked for before the type, so the 64-bit column is seen as such.
  EXPECT_TRUE(Has(r.out, "| big    | fldINT64 (18)")) << r.out;
  EXPECT_TRUE(Has(r.out, "| price  | fldFMTBCD (25)")) << r.out;
  EXPECT_TRUE(Has(r.out, "fldstMEMO (22)")) << r.out;

  r = Shell({"-c", "\\d vnxsql_no_such_table"});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Has(r.err, "no table matches")) << r.err;
}

TEST_F(VnxsqlLive, CallRunsFunctionsAndProceduresWithTheirOutputs) {
  ShellRun r = Shell({"-p", "int:21", "-c", "\\call vnxsql_twice"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(Has(r.out, " Result    | result    | 42")) << r.out;
  const TestServer& s = TestServer::Get();
  if (!s.plain || s.major < 11) return;  // procedures, and CALL, are those of servers from 11 on
  s.Psql("set role vnx83; create or replace procedure public.vnxsql_swap(inout a text, inout b int4)"
         " language plpgsql as $$ declare t text := a; begin a := b::text; b := length(t); end $$;");
  r = Shell({"-v", "-p", "hello", "-p", "int:7", "-c", "\\call public.vnxsql_swap"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(Has(r.err, "call public.vnxsql_swap('hello', 7)")) << r.err;
  EXPECT_TRUE(Has(r.out, " Arg1      | in/out    | 7")) << r.out;
  EXPECT_TRUE(Has(r.out, " Arg2      | in/out    | 5")) << r.out;
}

TEST_F(VnxsqlLive, VerboseModeShowsTheTraceWithCategories) {
  ShellRun r = Shell({"-v", "-c", "select 1 as one;"});
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(Has(r.err, "trace 4 connect: Connecting to database")) << r.err;
  EXPECT_TRUE(Has(r.err, "trace 1 sql: select 1 as one;")) << r.err;
  EXPECT_FALSE(Has(r.out, "trace")) << r.out;
}

// Without --library the shell loads the build's libraries, or, run from an installed or
// unpacked package, the package's own: never a copy from somewhere else.
TEST_F(VnxsqlLive, LoadsTheLibraryThatCameWithIt) {
  const std::string lib = VNX_LIB_PATH;
  std::string dir = lib.substr(0, lib.rfind('/'));
  if (!Program().empty()) dir = Program().substr(0, Program().rfind('/')) + "/" VNXSQL_INSTALLED_LIBRARY_DIR;
  char* real = ::realpath(dir.c_str(), nullptr);  // the loader reports the path without ".."
  ASSERT_NE(real, nullptr) << dir;
  dir = real;
  std::free(real);
  for (const auto& [option, file] : {std::pair{"", "libdbexpvnx.so"}, std::pair{"--ml", "libdbexpvnx-ml.so"}}) {
    std::vector<std::string> args{"-v", "-c", "select 1;"};
    if (*option) args.push_back(option);
    ShellRun r = Shell(args);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Has(r.err, "Vornex library: " + dir + "/" + file + "\n")) << r.err;
  }
}

TEST_F(VnxsqlLive, TheProgramExitsNonZeroWhenAStatementFailed) {
  const TestServer& s = TestServer::Get();
  const std::string program = Program().empty() ? VNXSQL_BIN : Program();
  std::string cmd = Emulator() + " '" + program + "' -U vnx83 '" + s.SocketServerName() +
                    "' -c 'select 6 * 7 as answer;' -c 'select * from vnxsql_nonexistent;' 2>&1";
  FILE* p = popen(cmd.c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::string out;
  std::array<char, 512> buf{};
  while (std::fgets(buf.data(), buf.size(), p)) out += buf.data();
  const int status = pclose(p);
  ASSERT_TRUE(WIFEXITED(status)) << out;
  EXPECT_EQ(WEXITSTATUS(status), 1) << out;
  EXPECT_TRUE(Has(out, " answer\n")) << out;
  EXPECT_TRUE(Has(out, "42")) << out;
  EXPECT_TRUE(Has(out, "ERROR 0x2000")) << out;
}

// Statements are cut and their markers counted as the server reads backslashes at the
// time, whichever way an earlier statement set it.
TEST_F(VnxsqlLive, BackslashesAreReadAsTheServerSettingSays) {
  const ShellRun r = Shell({"-p", "x", "-p", "y"},
                           "set standard_conforming_strings = on;\nselect 'C:\\' || ?::varchar as v;\n"
                           "set standard_conforming_strings = off;\nselect 'it\\'s ' || ?::varchar as w;\n");
  EXPECT_EQ(r.status, 0) << r.err << r.out;
  EXPECT_TRUE(Has(r.out, " C:\\x\n")) << r.out;
  EXPECT_TRUE(Has(r.out, " it's y\n")) << r.out;
}

// On a UTF-8 terminal the texts of a UTF8 server come through as they are, aligned by the
// columns they take.
TEST_F(VnxsqlLive, TheProgramShowsTextOfAnyScriptOnAUtf8Terminal) {
  VNX_ONLY_PLAIN("the client encoding stays UTF8 only for servers accepted as they are");
  const ShellRun r = RunProgram(
      {"-U", kRole83, TestServer::Get().SocketServerName(), "-c",
       "select convert_from(decode('e697a5e69cac', 'hex'), 'UTF8') as word, 1 as n;"},
      "", Program().empty() ? VNXSQL_BIN : Program(), "LC_ALL=C.UTF-8");
  EXPECT_EQ(r.status, 0) << r.err;
  const std::string& out = r.out;
  // Two wide characters take the four columns of the header rule.
  EXPECT_TRUE(Has(out, " \xE6\x97\xA5\xE6\x9C\xAC | ")) << out;
  EXPECT_TRUE(Has(out, "------+---")) << out;
}

// The driver's refusal of a server newer than its default gate, in English and translated,
// gets a line naming the option that accepts the server; other failures do not. The driver's
// texts, translated ones among them, reach a UTF-8 terminal as they are.
TEST_F(VnxsqlLive, TheVersionRefusalNamesTheOptionThatAcceptsTheServer) {
  const TestServer& s = TestServer::Get();
  const std::string name = s.socketDir + ":" + s.port + "/postgres";  // the superuser sees the real version
  const std::string missing = s.DatabaseServerName("no_such_database_vnxsql");
  const struct {
    const char* flag;
    std::string server;
    bool refused;
    const char* text;
  } cases[] = {{"--sync", name, true, ""},
               {"--ml", name + ",Language=de", true, ""},
               {"--sync", missing, false, ""},
               {"--ml", missing + ",Language=pt_BR", false,
                " 0x2000 N\xC3\xA3o foi poss\xC3\xADvel conectar ao servidor de banco de dados. Motivo: ["}};
  for (const auto& c : cases) {
    const ShellRun r = RunProgram({c.flag, "-U", "postgres", c.server, "-c", "select 1;"}, "",
                                  Program().empty() ? VNXSQL_BIN : Program(), "LC_ALL=C.UTF-8");
    EXPECT_EQ(r.status, 2) << c.server;
    EXPECT_EQ(Has(r.err, "\nvnxsql: add AcceptNewerServers=True to the server name to accept this server\n"), c.refused)
        << r.err;
    EXPECT_TRUE(Has(r.err, c.text)) << r.err;
  }
}

// \conninfo names what the session reached. A read that fails part-way (in the third batch)
// shows the error and no row count that a script could take for the result's.
TEST_F(VnxsqlLive, ConnInfoAndAReadThatFailsPartWay) {
  const TestServer& s = TestServer::Get();
  ShellRun r = Shell({"-c", "\\conninfo"});
  EXPECT_EQ(r.status, 0) << r.err;
  for (const std::string& v : std::vector<std::string>{"Host:     " + s.socketDir + "\n", "Port:     " + s.port + "\n",
                                                       "Database: " + s.database + "\n", "User:     vnx83\n",
                                                       "Server:   " + s.VersionTextPrefix(), "TLS:      off\n"})
    EXPECT_TRUE(Has(r.out, v)) << v << "\n" << r.out;
  r = Shell({"-c", "select 1/(i-3000) from generate_series(1,5000) i;"}, "", "FetchRows=1000");
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Has(r.err, "division by zero")) << r.err;
  EXPECT_FALSE(Has(r.out, "rows)")) << r.out;
}

// Ctrl-C while a statement runs cancels it on the server, and the script stops there.
TEST_F(VnxsqlLive, CtrlCCancelsTheRunningStatement) {
  const TestServer& s = TestServer::Get();
  ScratchDir dir;
  WriteFile(dir / "in", "");
  const std::string cmd = "exec " + ProgramCommand({"-U", kRole83, s.SocketServerName(), "-c", "select pg_sleep(30);",
                                                     "-c", "select 'not reached';"},
                                                    dir, Program().empty() ? VNXSQL_BIN : Program());
  const pid_t pid = fork();
  if (pid == 0) {
    execl("/bin/sh", "sh", "-c", cmd.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  ASSERT_GT(pid, 0);
  for (int i = 0; i < 200 && s.Psql("select count(*) from pg_stat_activity where query like 'select pg_sleep(30)%'") != "1"; ++i)
    usleep(50000);
  kill(pid, SIGINT);
  const auto start = std::chrono::steady_clock::now();
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0 && std::chrono::steady_clock::now() - start < std::chrono::seconds(10))
    usleep(20000);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (seconds >= 10) kill(pid, SIGKILL), waitpid(pid, &status, 0);
  EXPECT_LT(seconds, 5);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
  EXPECT_TRUE(Has(ReadFile(dir / "err"), "canceling statement due to user request")) << ReadFile(dir / "err");
  EXPECT_FALSE(Has(ReadFile(dir / "out"), "not reached"));
}

}  // namespace
