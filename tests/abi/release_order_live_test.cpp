// Every order in which an application may release the objects of one session. Each object
// keeps alive what it was made from, so whatever goes first, the objects still held go on
// working, and the last release frees everything (AddressSanitizer and LeakSanitizer in
// the native tree watch both).
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>

#include "tests/harness/live_session.h"

using namespace vnxtest;
using vnx::ISQLCommandVtbl;
using vnx::ISQLConnectionVtbl;
using vnx::ISQLCursorVtbl;
using vnx::ISQLDriverVtbl;
using vnx::ISQLMetaDataVtbl;

namespace {

enum Object { kDriver, kConnection, kCommand, kCursor, kMetaData, kVirtualCursor, kObjects };

// One session: a command with the cursor of its last execute (which it holds for output
// parameters), and a metadata object with a column list (a virtual cursor).
struct Session {
  Driver driver;
  Connection conn;
  Command command;
  Cursor cursor;
  MetaData meta;
  Cursor columns;

  void Open() {
    driver = GetDriver(Library());
    conn = NewConnection(driver);
    const std::string name = TestServer::Get().SocketServerName();
    ASSERT_EQ(conn.call(&ISQLConnectionVtbl::connect, name.c_str(), kRole83, ""), 0) << ErrorOf(conn);
    ASSERT_EQ(conn.call(&ISQLConnectionVtbl::getSQLCommand, command.out()), 0);
    ASSERT_EQ(command.call(&ISQLCommandVtbl::prepare, "select 42", std::uint16_t(0)), 0);
    ASSERT_EQ(command.call(&ISQLCommandVtbl::execute, cursor.out()), 0) << ErrorOf(command);
    ASSERT_EQ(cursor.call(&ISQLCursorVtbl::next), 0);
    ASSERT_EQ(conn.call(&ISQLConnectionVtbl::getSQLMetaData, meta.out()), 0);
    ASSERT_EQ(meta.call(&ISQLMetaDataVtbl::getColumns, "public.release_order", nullptr, std::uint32_t(0),
                        columns.out()), 0) << ErrorOf(meta);
    ASSERT_EQ(columns.call(&ISQLCursorVtbl::next), 0);
  }

  bool Held(int object) const {
    const void* p[] = {driver.get(), conn.get(), command.get(), cursor.get(), meta.get(), columns.get()};
    return p[object] != nullptr;
  }

  void Release(int object) {
    switch (object) {
      case kDriver: driver.reset(); break;
      case kConnection: conn.reset(); break;
      case kCommand: command.reset(); break;
      case kCursor: cursor.reset(); break;
      case kMetaData: meta.reset(); break;
      default: columns.reset(); break;
    }
  }

  // Uses the object in a way that reaches what it was made from.
  void Use(int object) {
    std::int32_t blank = 0;
    switch (object) {
      case kDriver: {
        std::int32_t size = -1;
        std::int16_t length = 0;
        EXPECT_EQ(driver.call(&ISQLDriverVtbl::GetOption, vnx::eDrvBlobSize, &size, std::int16_t(4), &length), 0);
        break;
      }
      case kConnection: {
        void* handle = nullptr;
        std::int16_t length = 0;
        conn.call(&ISQLConnectionVtbl::GetOption, vnx::eConnNativeHandle, &handle, std::int16_t(sizeof handle), &length);
        EXPECT_NE(handle, nullptr) << "the connection was closed";
        break;
      }
      case kCommand: {
        Cursor r;
        EXPECT_EQ(command.call(&ISQLCommandVtbl::executeImmediate, "select 1", r.out()), 0) << ErrorOf(command);
        break;
      }
      case kCursor: {
        std::int32_t v = 0;
        EXPECT_EQ(cursor.call(&ISQLCursorVtbl::getLong, std::uint16_t(1), &v, &blank), 0);
        EXPECT_EQ(v, 42);
        break;
      }
      case kMetaData: {
        Cursor r;
        EXPECT_EQ(meta.call(&ISQLMetaDataVtbl::getObjectList, std::uint32_t(vnx::eObjTypeSynonym), r.out()), 0)
            << ErrorOf(meta);
        break;
      }
      default: {
        char name[64] = {};
        EXPECT_EQ(columns.call(&ISQLCursorVtbl::getString, std::uint16_t(5), name, &blank), 0);
        EXPECT_STREQ(name, "a");
        break;
      }
    }
  }
};

TEST(ReleaseOrder, EveryOrderLeavesTheRestWorkingAndFreesEverything) {
  VNX_REQUIRE_SERVER();
  TestServer::Get().Psql("create table if not exists public.release_order (a int)");
#if defined(__i386__)
  constexpr int kStride = 13;  // connects are slow under emulation: a spread of the orders
#else
  constexpr int kStride = 1;
#endif
  std::array<int, kObjects> order{};
  for (int i = 0; i < kObjects; ++i) order[static_cast<std::size_t>(i)] = i;
  int n = 0;
  do {
    if (n++ % kStride != 0) continue;
    std::string text;
    for (int o : order) text += "DCXRMV"[o];
    SCOPED_TRACE("release order " + text);
    Session s;
    s.Open();
    if (::testing::Test::HasFatalFailure()) return;
    for (std::size_t step = 0; step + 1 < order.size(); ++step) {
      s.Release(order[step]);
      for (int o = 0; o < kObjects; ++o)
        if (s.Held(o)) s.Use(o);
    }
    // The last object is referenced by the application alone: nothing made from it survived.
    const int last = order.back();
    std::int32_t count = -1;
    switch (last) {
      case kDriver: count = RefCount(s.driver); break;
      case kConnection: count = RefCount(s.conn); break;
      case kCommand: count = RefCount(s.command); break;
      case kCursor: count = RefCount(s.cursor); break;
      case kMetaData: count = RefCount(s.meta); break;
      default: count = RefCount(s.columns); break;
    }
    EXPECT_EQ(count, 1);
    s.Release(last);
  } while (std::next_permutation(order.begin(), order.end()));
}

}  // namespace
