// Fetch benchmark: rows of eight typed columns (200,000 unless --rows says otherwise) read
// (a) by a raw libpq loop that converts every value to the driver's binary form with plain
// code, and (b) through the driver's next and getters, the whole result at once or, with
// --fetch-rows N, N rows a batch. Prints medians of alternating runs; asserts nothing.
//
//   fetch_bench --server HOST:PORT/DB [--options K=V,...] [--user U] [--password P] [--runs N] [--rows R] [--fetch-rows N]
//   fetch_bench ... --mode batched                    the driver whole against FetchRows=N
//                                                    (1000 unless --fetch-rows says otherwise)
//   fetch_bench ... --mode memory-raw|memory-driver   one read, then the peak resident memory
#include <charconv>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "bench/bench_util.h"

using namespace vnxbench;
using vnx::ISQLCommandVtbl;
using vnx::ISQLConnectionVtbl;
using vnx::ISQLCursorVtbl;

namespace {

// The table of `rows` rows (the 200,000-row one keeps its first name) and the query on it.
std::string TableName(int rows) {
  return rows == 200000 ? "vnx_bench_fetch" : "vnx_bench_fetch_" + std::to_string(rows);
}

std::string Query(int rows) {
  return "select c_int4, c_int8, c_float8, c_numeric, c_varchar, c_timestamp, c_bool, c_date from public." +
         TableName(rows);
}

void EnsureTable(const RawPq& pq, PGconn* c, int rows) {
  const std::string name = TableName(rows);
  PGresult* r = pq.exec(c, ("select count(*) from pg_class where relname = '" + name + "' and relkind = 'r'").c_str());
  const bool exists = r && pq.resultStatus(r) == PGRES_TUPLES_OK && std::strcmp(pq.getvalue(r, 0, 0), "1") == 0;
  pq.clear(r);
  if (exists) return;
  pq.MustExec(c, "create table public." + name + " as select "
                 "i::int4 as c_int4, i::int8 * 1000003 as c_int8, (i * 0.37)::float8 as c_float8, "
                 "round((i % 1000000) * 1.23, 2)::numeric(12,2) as c_numeric, "
                 "('customer ' || i)::varchar(30) as c_varchar, "
                 "timestamp '2000-01-01' + i * interval '1001 milliseconds' as c_timestamp, "
                 "i % 3 = 0 as c_bool, date '2000-01-01' + (i % 20000) as c_date "
                 "from generate_series(1, " + std::to_string(rows) + ") i");
  pq.MustExec(c, "analyze public." + name);
}

// One row in the binary forms the getters hand out.
struct Row {
  std::int32_t i4;
  std::int64_t i8;
  double f8;
  vnx::TBcd num;
  char str[31];
  vnx::TSQLTimeStamp ts;
  std::int16_t flag;
  std::int32_t day;
};

// Folds a row into a checksum, so that both readers can be shown to agree.
struct Checksum {
  std::uint64_t h = 1469598103934665603ull;
  void Add(std::uint64_t x) { h = (h ^ x) * 1099511628211ull; }
  void Add(const Row& r) {
    Add(static_cast<std::uint32_t>(r.i4));
    Add(static_cast<std::uint64_t>(r.i8));
    std::uint64_t bits;
    std::memcpy(&bits, &r.f8, sizeof bits);
    Add(bits);
    // The value of a BCD, whatever leading zeros its record carries.
    std::uint64_t digits = 0;
    for (int i = 0; i < r.num.Precision; ++i) {
      const int nib = i % 2 ? r.num.Fraction[i / 2] & 15 : r.num.Fraction[i / 2] >> 4;
      digits = digits * 10 + static_cast<std::uint64_t>(nib);
    }
    Add(digits * 64 + (r.num.SignSpecialPlaces & 0xBF));
    for (const char* p = r.str; *p; ++p) Add(static_cast<unsigned char>(*p));
    Add((static_cast<std::uint64_t>(r.ts.Year) << 40) ^ (std::uint64_t{r.ts.Month} << 32) ^ (std::uint64_t{r.ts.Day} << 24) ^
        (std::uint64_t{r.ts.Hour} << 16) ^ (std::uint64_t{r.ts.Minute} << 8) ^ r.ts.Second);
    Add(r.ts.Fractions);
    Add(static_cast<std::uint16_t>(r.flag));
    Add(static_cast<std::uint32_t>(r.day));
  }
};

// --- the raw loop's conversions: the best plain code for each text form ---------------

inline unsigned D2(const char* p) { return static_cast<unsigned>((p[0] - '0') * 10 + (p[1] - '0')); }

template <class T>
inline T Int(const char* s, int len) {
  T v = 0;
  std::from_chars(s, s + len, v);
  return v;
}

inline void Bcd(const char* s, int len, vnx::TBcd& b) {
  std::memset(&b, 0, sizeof b);
  int i = 0, n = 0, places = 0;
  bool negative = false, frac = false;
  if (len > 0 && s[0] == '-') negative = true, i = 1;
  for (; i < len; ++i) {
    const char c = s[i];
    if (c == '.') {
      frac = true;
      continue;
    }
    const auto d = static_cast<std::uint8_t>(c - '0');
    b.Fraction[n >> 1] |= (n & 1) ? d : static_cast<std::uint8_t>(d << 4);
    ++n;
    places += frac;
  }
  b.Precision = static_cast<std::uint8_t>(n);
  b.SignSpecialPlaces = static_cast<std::uint8_t>(places | (negative ? 0x80 : 0));
}

inline std::int32_t DayNumber(unsigned y, unsigned m, unsigned d) {
  const int yy = static_cast<int>(y) - (m <= 2);
  const int era = yy / 400;
  const unsigned yoe = static_cast<unsigned>(yy - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int>(doe) - 719468 + 719163;
}

// "YYYY-MM-DD HH:MM:SS[.fff...]"
inline void TimeStamp(const char* s, int len, vnx::TSQLTimeStamp& ts) {
  ts.Year = static_cast<std::int16_t>(D2(s) * 100 + D2(s + 2));
  ts.Month = static_cast<std::uint16_t>(D2(s + 5));
  ts.Day = static_cast<std::uint16_t>(D2(s + 8));
  ts.Hour = static_cast<std::uint16_t>(D2(s + 11));
  ts.Minute = static_cast<std::uint16_t>(D2(s + 14));
  ts.Second = static_cast<std::uint16_t>(D2(s + 17));
  unsigned ms = 0;
  int k = 0;
  for (int i = 20; i < len && k < 3; ++i, ++k) ms = ms * 10 + static_cast<unsigned>(s[i] - '0');
  for (; k < 3; ++k) ms *= 10;
  ts.Fractions = len > 19 ? ms : 0;
}

struct Timing {
  double total = 0, client = 0;
};

// The loops apart from the rest, so that a profiler can be pointed at them alone.
[[gnu::noinline]] void RawRows(const RawPq& pq, PGresult* r, Checksum& sum) {
  const int rows = pq.ntuples(r);
  Row row{};
  for (int i = 0; i < rows; ++i) {
    // A reader that cannot know its data checks for NULL, as the driver must; like the
    // driver it asks only for values of length 0, the length libpq gives a NULL.
    for (int col = 0; col < 8; ++col)
      if (pq.getlength(r, i, col) == 0 && pq.getisnull(r, i, col)) Die("unexpected NULL");
    auto v = [&](int col) { return pq.getvalue(r, i, col); };
    auto n = [&](int col) { return pq.getlength(r, i, col); };
    row.i4 = Int<std::int32_t>(v(0), n(0));
    row.i8 = Int<std::int64_t>(v(1), n(1));
    std::from_chars(v(2), v(2) + n(2), row.f8);
    Bcd(v(3), n(3), row.num);
    std::memcpy(row.str, v(4), static_cast<std::size_t>(n(4)) + 1);
    TimeStamp(v(5), n(5), row.ts);
    row.flag = v(6)[0] == 't';
    const char* d = v(7);
    row.day = DayNumber(D2(d) * 100 + D2(d + 2), D2(d + 5), D2(d + 8));
    sum.Add(row);
  }
}

Timing ReadRaw(const RawPq& pq, PGconn* c, const std::string& query, Checksum& sum) {
  const double t0 = Now();
  PGresult* r = pq.exec(c, query.c_str());
  const double t1 = Now();
  if (!r || pq.resultStatus(r) != PGRES_TUPLES_OK) Die(std::string("query: ") + pq.errorMessage(c));
  RawRows(pq, r, sum);
  const double t2 = Now();
  pq.clear(r);
  return {t2 - t0, t2 - t1};
}

[[gnu::noinline]] vnx::SQLResult DriverRows(const ISQLCursorVtbl* vt, void* c, Checksum& sum) {
  Row row{};
  std::int32_t blank = 0;
  vnx::SQLResult rc = 0;
  while (vt->next(c) == 0) {
    rc |= vt->getLong(c, 1, &row.i4, &blank);
    rc |= vt->getLong(c, 2, &row.i8, &blank);
    rc |= vt->getDouble(c, 3, &row.f8, &blank);
    rc |= vt->getBcd(c, 4, &row.num, &blank);
    rc |= vt->getString(c, 5, row.str, &blank);
    rc |= vt->getTimeStamp(c, 6, &row.ts, &blank);
    rc |= vt->getShort(c, 7, &row.flag, &blank);
    rc |= vt->getDate(c, 8, &row.day, &blank);
    sum.Add(row);
  }
  return rc;
}

Timing ReadDriver(const DriverSession& s, const std::string& query, Checksum& sum) {
  vnxsql::Command cmd;
  if (s.conn.call(&ISQLConnectionVtbl::getSQLCommand, cmd.out()) != 0) Die("getSQLCommand");
  vnxsql::Cursor cur;
  const double t0 = Now();
  if (cmd.call(&ISQLCommandVtbl::executeImmediate, query.c_str(), cur.out()) != 0 || !cur)
    Die("execute: " + cmd.error());
  const double t1 = Now();
  const vnx::SQLResult rc = DriverRows(cur.vt(), cur.get(), sum);
  const double t2 = Now();
  if (rc != 0) Die("a getter failed: " + cur.error());
  return {t2 - t0, t2 - t1};
}

// Medians of alternating runs of two readers; each read's checksum must equal `expected`.
template <class A, class B>
void Alternate(int runs, A readA, B readB, std::uint64_t expected, std::vector<Timing>& a, std::vector<Timing>& b) {
  for (int i = 0; i < runs; ++i) {
    for (int k = 0; k < 2; ++k) {
      Checksum sum;
      if ((i + k) % 2 == 0) a.push_back(readA(sum));
      else b.push_back(readB(sum));
      if (sum.h != expected) Die("a reader gave other values than the first read");
    }
  }
}

double MedianOf(const std::vector<Timing>& v, double Timing::*field) {
  std::vector<double> x;
  for (const Timing& t : v) x.push_back(t.*field);
  return Median(x);
}

}  // namespace

int main(int argc, char** argv) {
  Args args;
  if (!args.Parse(argc, argv))
    Die("usage: fetch_bench --server HOST:PORT/DB [--options K=V,...] [--user U] [--password P] [--runs N] [--rows R] [--fetch-rows N] [--mode M]");
  RawPq pq;
  std::string why;
  if (!pq.Load(args.vendorLib, why)) Die("cannot load " + args.vendorLib + ": " + why);
  PGconn* raw = pq.Connect(args);
  EnsureTable(pq, raw, args.rows);
  const std::string query = Query(args.rows);

  if (args.mode == "memory-raw" || args.mode == "memory-driver") {
    // Each reader in a process of its own: peak memory only grows.
    DriverSession s;
    if (args.mode == "memory-driver") s.Open(args);
    const long before = ProcStatusKb("VmRSS");
    Checksum sum;
    if (args.mode == "memory-raw") ReadRaw(pq, raw, query, sum);
    else ReadDriver(s, query, sum);
    std::printf("%s rows=%d fetch_rows=%d peak_kb=%ld before_kb=%ld checksum=%016llx\n", args.mode.c_str(),
                args.rows, args.fetchRows, ProcStatusKb("VmHWM"), before, static_cast<unsigned long long>(sum.h));
    pq.finish(raw);
    return 0;
  }

  const char* kColumns = "8 columns (int4, int8, float8, numeric(12,2), varchar(30), timestamp, bool, date)";
  Checksum first;  // one read first: the server's cache, the driver's type cache, page faults
  ReadRaw(pq, raw, query, first);
  std::vector<Timing> a, b;
  if (args.mode == "batched") {
    const int batch = args.fetchRows > 0 ? args.fetchRows : 1000;
    DriverSession whole, batched;
    whole.Open(args, 0);
    batched.Open(args, batch);
    Alternate(
        args.runs, [&](Checksum& sum) { return ReadDriver(whole, query, sum); },
        [&](Checksum& sum) { return ReadDriver(batched, query, sum); }, first.h, a, b);
    const double wt = MedianOf(a, &Timing::total), bt = MedianOf(b, &Timing::total);
    std::printf("batched fetch: %d rows x %s\n", args.rows, kColumns);
    std::printf("  medians of %d alternating runs   whole result  FetchRows=%d   batched/whole\n", args.runs, batch);
    std::printf("  end-to-end (ms)                %12.1f  %13.1f   %9.3f\n", wt, bt, bt / wt);
    std::printf("  per row (us)                   %12.3f  %13.3f\n", wt * 1000 / args.rows, bt * 1000 / args.rows);
    std::printf("  same values from every reader: yes (raw loop, whole, batched)\n");
    pq.finish(raw);
    return 0;
  }

  DriverSession s;
  s.Open(args);
  Alternate(
      args.runs, [&](Checksum& sum) { return ReadRaw(pq, raw, query, sum); },
      [&](Checksum& sum) { return ReadDriver(s, query, sum); }, first.h, a, b);
  const double rt = MedianOf(a, &Timing::total), rc = MedianOf(a, &Timing::client);
  const double dt = MedianOf(b, &Timing::total), dc = MedianOf(b, &Timing::client);
  std::printf("fetch: %d rows x %s%s\n", args.rows, kColumns,
              args.fetchRows > 0 ? (", driver with FetchRows=" + std::to_string(args.fetchRows)).c_str() : "");
  std::printf("  medians of %d alternating runs     raw libpq      driver   driver/raw\n", args.runs);
  std::printf("  end-to-end (ms)                  %10.1f  %10.1f   %9.3f\n", rt, dt, dt / rt);
  std::printf("  client side, after arrival (ms)  %10.1f  %10.1f   %9.3f\n", rc, dc, dc / rc);
  std::printf("  same values from both readers: yes\n");
  pq.finish(raw);
  return 0;
}
