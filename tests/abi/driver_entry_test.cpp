// The driver entry and driver object as an application reaches them: dlopen, the export,
// and the interface tables.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "tests/harness/dbx_client.h"

using namespace vnxtest;
using vnx::ISQLConnectionVtbl;
using vnx::ISQLDriverVtbl;

namespace {

const DriverLibrary& Lib() {
  static DriverLibrary lib;
  return lib;
}

TEST(DriverEntry, CreatesDriverWithAndWithoutArguments) {
  Driver d;
  EXPECT_EQ(Lib().getDriver()(nullptr, nullptr, d.out()), 0);
  ASSERT_TRUE(d);
  EXPECT_EQ(RefCount(d), 1);
  // Without a place to put it the driver is made and dropped again.
  EXPECT_EQ(Lib().getDriver()("libpq.so", "", nullptr), 0);
  // An out argument is overwritten without being read.
  void* garbage = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(Lib().getDriver()(nullptr, nullptr, &garbage), 0);
  Driver owned(garbage);
  EXPECT_EQ(RefCount(owned), 1);
}

TEST(DriverEntry, QueryInterfaceKnowsItsOwnIdentityOnly) {
  Driver d = GetDriver(Lib());
  void* same = nullptr;
  EXPECT_EQ(d.vt()->Unknown.QueryInterface(d.get(), &vnx::IID_ISQLDriver, &same), vnx::S_OK);
  EXPECT_EQ(same, d.get());
  Driver extra(same);
  EXPECT_EQ(RefCount(d), 2);
  void* unknown = nullptr;
  EXPECT_EQ(d.vt()->Unknown.QueryInterface(d.get(), &vnx::IID_IUnknown, &unknown), vnx::S_OK);
  Driver extra2(unknown);
  void* other = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(d.vt()->Unknown.QueryInterface(d.get(), &vnx::IID_ISQLCursor, &other), vnx::E_NOINTERFACE);
  EXPECT_EQ(other, nullptr);
}

TEST(DriverEntry, BlobSizeRoundTripsAndIsInheritedByNewConnections) {
  Driver d = GetDriver(Lib());
  Connection before = NewConnection(d);
  EXPECT_EQ(d.call(&ISQLDriverVtbl::SetOption, vnx::eDrvBlobSize, 4096), 0);
  std::int32_t value = 0;
  std::int16_t length = 0;
  EXPECT_EQ(d.call(&ISQLDriverVtbl::GetOption, vnx::eDrvBlobSize, &value, std::int16_t(4), &length), 0);
  EXPECT_EQ(value, 4096);
  EXPECT_EQ(length, 4);

  Connection after = NewConnection(d);
  value = 0;
  EXPECT_EQ(after.call(&ISQLConnectionVtbl::GetOption, vnx::eConnBlobSize, &value, std::int16_t(4), &length), 0);
  EXPECT_EQ(value, 4096);
  value = 0;
  EXPECT_EQ(before.call(&ISQLConnectionVtbl::GetOption, vnx::eConnBlobSize, &value, std::int16_t(4), &length), 0);
  EXPECT_EQ(value, 0);
}

TEST(DriverEntry, CallbackOptionsAreStoredButCallbackInfoIsNotReported) {
  Driver d = GetDriver(Lib());
  EXPECT_EQ(d.call(&ISQLDriverVtbl::SetOption, vnx::eDrvCallBack, vnx::OptionValue(0x1234)), 0);
  EXPECT_EQ(d.call(&ISQLDriverVtbl::SetOption, vnx::eDrvCallBackInfo, vnx::OptionValue(77)), 0);
  vnx::OptionValue value = 0;
  std::int16_t length = -5;
  EXPECT_EQ(d.call(&ISQLDriverVtbl::GetOption, vnx::eDrvCallBack, &value, std::int16_t(sizeof value), &length), 0);
  EXPECT_EQ(value, 0x1234);
  value = 99;
  EXPECT_EQ(d.call(&ISQLDriverVtbl::GetOption, vnx::eDrvCallBackInfo, &value, std::int16_t(4), &length), 0);
  EXPECT_EQ(value, 99);  // nothing written
  EXPECT_EQ(d.call(&ISQLDriverVtbl::SetOption, 1234u, vnx::OptionValue(1)), 0);
}

TEST(DriverEntry, FreshConnectionHasAnEmptyErrorMessage) {
  Driver d = GetDriver(Lib());
  Connection c = NewConnection(d);
  std::int16_t len = -1;
  EXPECT_EQ(c.call(&ISQLConnectionVtbl::getErrorMessageLen, &len), 0);
  EXPECT_EQ(len, 0);
  char buf[4] = {'x', 'x', 'x', 'x'};
  EXPECT_EQ(c.call(&ISQLConnectionVtbl::getErrorMessage, buf), 0);
  EXPECT_EQ(buf[0], '\0');
  EXPECT_EQ(buf[1], 'x');
}

TEST(DriverEntry, ConnectionsKeepTheirDriverAlive) {
  Driver d = GetDriver(Lib());
  Connection c = NewConnection(d);
  EXPECT_EQ(RefCount(c), 1);
  EXPECT_EQ(RefCount(d), 2);  // the application's reference and the connection's
  void* q = nullptr;
  EXPECT_EQ(c.vt()->Unknown.QueryInterface(c.get(), &vnx::IID_ISQLConnection, &q), vnx::S_OK);
  Connection extra(q);
  EXPECT_EQ(RefCount(c), 2);
  c.reset();
  extra.reset();
  EXPECT_EQ(RefCount(d), 1);
}

TEST(DriverEntry, CancelQueryIgnoresHandlesItCannotUse) {
  // Nil, and any handle while the library has bound no libpq (a copy of its own has not):
  // the call returns without reading it.
  const DriverLibrary fresh = FreshLibraryCopy();
  EXPECT_EXIT(
      {
        char notAConnection[64] = {};
        fresh.cancelQuery()(nullptr);
        fresh.cancelQuery()(reinterpret_cast<pg_conn*>(notAConnection));
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
