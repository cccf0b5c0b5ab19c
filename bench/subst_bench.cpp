// Substitution benchmark: execute of a statement with 1,000 (and 2,000) "?" markers and of
// one with a single 1 MB (and 2 MB) text parameter, against PQescapeString plus
// concatenation of the same values alone. The driver's part is timed from the call of
// execute to the moment it hands the finished statement to the trace, which it does right
// before sending it. Prints medians of alternating runs; asserts nothing.
//
//   subst_bench --server HOST:PORT/DB [--options K=V,...] [--user U] [--password P] [--runs N] [--library PATH]
#include <cstdio>
#include <cstring>
#include <iostream>

#include "bench/bench_util.h"

using namespace vnxbench;
using vnx::ISQLCommandVtbl;
using vnx::ISQLConnectionVtbl;
using vnx::ISQLCursorVtbl;

namespace {

// Notes when the driver traces the statement it is about to send.
struct Probe {
  bool armed = false;
  double at = 0;
};

std::int32_t VNX_STDCALL OnTrace(std::int32_t, void* info) {
  const auto* d = static_cast<const vnx::SQLTRACEDesc*>(info);
  auto* p = reinterpret_cast<Probe*>(d->ClientData);
  if (p->armed && d->eTraceCat == 1) {
    p->at = Now();
    p->armed = false;
  }
  return 0;
}

struct Case {
  std::string name;
  std::vector<std::string> pieces;  // the statement around its markers: markers + 1 pieces
  std::vector<std::string> values;
  std::string Sql() const {
    std::string s = pieces[0];
    for (std::size_t i = 1; i < pieces.size(); ++i) s += "?" + pieces[i];
    return s;
  }
};

Case Markers(int n) {
  Case c{std::to_string(n) + " markers", {"select array_length(array["}, {}};
  for (int i = 0; i < n; ++i) {
    c.pieces.push_back(i + 1 < n ? ", " : "]::text[], 1)");
    c.values.push_back("value " + std::to_string(i));
  }
  return c;
}

Case Text(int megabytes) {
  Case c{std::to_string(megabytes) + " MB text", {"select length(", ")"}, {}};
  std::string v;
  const char chunk[] = "The quick brown fox's \\ jumps over the lazy dog. ";  // a quote and a backslash
  while (v.size() < static_cast<std::size_t>(megabytes) << 20) v += chunk;
  v.resize(static_cast<std::size_t>(megabytes) << 20);
  c.values.push_back(v);
  return c;
}

// The baseline: each value escaped with PQescapeString and put between quotes in place of
// its marker. Not inlined, so that callgrind can count it apart (--toggle-collect='*Baseline*').
[[gnu::noinline]] double Baseline(const RawPq& pq, const Case& c, std::string& out) {
  const double t0 = Now();
  std::size_t size = 0;
  for (const auto& p : c.pieces) size += p.size();
  std::size_t longest = 0;
  for (const auto& v : c.values) size += 2 * v.size() + 2, longest = std::max(longest, v.size());
  out.clear();
  out.reserve(size);
  std::string buf(2 * longest + 1, '\0');
  out += c.pieces[0];
  for (std::size_t i = 0; i < c.values.size(); ++i) {
    const std::size_t n = pq.escapeString(buf.data(), c.values[i].data(), c.values[i].size());
    out += '\'';
    out.append(buf.data(), n);
    out += '\'';
    out += c.pieces[i + 1];
  }
  return Now() - t0;
}

struct DriverTiming {
  double substitution = 0, total = 0;
};

DriverTiming Driver(const DriverSession& s, Probe& probe, const Case& c, std::int32_t& firstValue) {
  vnxsql::Command cmd;
  if (s.conn.call(&ISQLConnectionVtbl::getSQLCommand, cmd.out()) != 0) Die("getSQLCommand");
  const std::string sql = c.Sql();
  cmd.call(&ISQLCommandVtbl::prepare, sql.c_str(), static_cast<std::uint16_t>(c.values.size()));
  for (std::size_t i = 0; i < c.values.size(); ++i)
    cmd.call(&ISQLCommandVtbl::setParameter, static_cast<std::uint16_t>(i + 1), std::uint16_t{0}, std::uint32_t{vnx::paramIN},
             std::uint16_t{vnx::fldZSTRING}, std::int32_t{0}, std::int32_t{0}, std::int32_t{0},
             static_cast<std::uint32_t>(c.values[i].size() + 1), const_cast<char*>(c.values[i].c_str()), std::int32_t{0});
  vnxsql::Cursor cur;
  probe.armed = true;
  const double t0 = Now();
  const vnx::SQLResult rc = cmd.call(&ISQLCommandVtbl::execute, cur.out());
  const double t1 = Now();
  if (rc != 0 || !cur) Die(c.name + ": execute: " + cmd.error());
  if (probe.armed) Die("the driver traced no statement");
  std::int32_t blank = 0;
  firstValue = -1;
  cur.call(&ISQLCursorVtbl::next);
  cur.call(&ISQLCursorVtbl::getLong, std::uint16_t{1}, static_cast<void*>(&firstValue), &blank);
  return {probe.at - t0, t1 - t0};
}

}  // namespace

int main(int argc, char** argv) {
  Args args;
  if (!args.Parse(argc, argv)) Die("usage: subst_bench --server HOST:PORT/DB [--options K=V,...] [--user U] [--password P] [--runs N]");
  RawPq pq;
  std::string why;
  if (!pq.Load(args.vendorLib, why)) Die("cannot load " + args.vendorLib + ": " + why);
  PGconn* raw = pq.Connect(args);  // PQescapeString follows the last connection's string settings
  Probe probe;
  DriverSession s;
  s.Open(args, &OnTrace, &probe);

  const std::vector<Case> cases = {Markers(1000), Markers(2000), Text(1), Text(2)};
  std::vector<double> base(cases.size()), drv(cases.size()), total(cases.size());
  std::printf("substitution: execute until the finished statement is traced (just before it is sent),\n"
              "against PQescapeString and concatenation of the same values; medians of %d alternating runs\n",
              args.runs);
  std::printf("  %-14s %13s %13s %10s %20s\n", "statement", "baseline (ms)", "driver (ms)", "ratio", "whole execute (ms)");
  for (std::size_t k = 0; k < cases.size(); ++k) {
    const Case& c = cases[k];
    // --mode TEXT runs only the statements whose name holds TEXT (for a profiler).
    if (!args.mode.empty() && c.name.find(args.mode) == std::string::npos) continue;
    std::vector<double> b, d, t;
    std::string out;
    std::int32_t value = 0;
    Driver(s, probe, c, value);  // warm: allocations, server plan cache
    const std::int32_t expected = c.values.size() == 1 ? static_cast<std::int32_t>(c.values[0].size())
                                                        : static_cast<std::int32_t>(c.values.size());
    if (value != expected) Die(c.name + ": the server saw " + std::to_string(value) + ", not " + std::to_string(expected));
    for (int i = 0; i < args.runs; ++i) {
      for (int j = 0; j < 2; ++j) {
        if ((i + j) % 2 == 0) {
          b.push_back(Baseline(pq, c, out));
        } else {
          DriverTiming dt = Driver(s, probe, c, value);
          d.push_back(dt.substitution);
          t.push_back(dt.total);
        }
      }
    }
    base[k] = Median(b);
    drv[k] = Median(d);
    total[k] = Median(t);
    std::printf("  %-14s %13.3f %13.3f %10.2f %20.3f\n", c.name.c_str(), base[k], drv[k], drv[k] / base[k], total[k]);
  }
  std::printf("  doubling the markers: driver x%.2f, baseline x%.2f\n", drv[1] / drv[0], base[1] / base[0]);
  std::printf("  doubling the text:    driver x%.2f, baseline x%.2f\n", drv[3] / drv[2], base[3] / base[2]);
  pq.finish(raw);
  return 0;
}
