// Which statements a server cursor can carry, and which may end the transaction (or the
// savepoint) a batched read's cursor was declared in.
#include <gtest/gtest.h>

#include "driver/batched_reads.h"
#include "driver/more_rows.h"

namespace {

struct Shape {
  const char* sql;
  bool declarable;
  bool transactionControl;
};

TEST(BatchStatements, DeclarableAndTransactionControl) {
  const Shape cases[] = {
      {"select * from t", true, false},
      {"  /* c */ SELECT a FROM t WHERE b = 'insert into';", true, false},
      {"select 1;  ", true, false},
      {"values (1), (2)", true, false},
      {"table t", true, false},
      {"with x as (select 1) select * from x", true, false},
      {"select * into t2 from t", false, false},
      {"with x as (delete from t returning *) select * from x", false, false},
      {"with x as (insert into t values (1) returning *) select * from x", false, false},
      {"select 1; select 2", false, false},
      {"insert into t values (1) returning *", false, false},
      {"show all", false, false},
      {"explain select 1", false, false},
      {"", false, false},
      {"begin", false, true},
      {"BEGIN TRANSACTION ISOLATION LEVEL SERIALIZABLE;", false, true},
      {"start transaction", false, true},
      {"commit", false, true},
      {" end;", false, true},
      {"abort", false, true},
      {"rollback", false, true},
      {"rollback work", false, true},
      {"rollback to savepoint s", false, true},
      {"ROLLBACK TRANSACTION TO s", false, true},
      {"insert into t values (2); rollback", false, true},
      {"select 'commit'; /* end */ select \"begin\"", false, false},
      {"prepare transaction 'x'", false, true},
      {"prepare p as select 1", false, false},
      {"savepoint s", false, false},
      {"-- comment\rcommit", false, true},
      {"-- comment\ncommit", false, true},
      {"select $$;$$", true, false},
  };
  for (const Shape& c : cases) {
    EXPECT_EQ(vnx::DeclarableAsCursor(c.sql), c.declarable) << c.sql;
    EXPECT_EQ(vnx::ControlsTransaction(c.sql), c.transactionControl) << c.sql;
  }
  // A backslash escapes the quote only with standard_conforming_strings off.
  EXPECT_TRUE(vnx::DeclarableAsCursor("select '\\'; select 2 --'", false));
  EXPECT_FALSE(vnx::DeclarableAsCursor("select '\\'; select 2 --'", true));
}

}  // namespace
