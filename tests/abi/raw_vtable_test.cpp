// Calls the library purely by slot index through the raw table pointer, with its own
// declarations of the calling convention, as an application written against the published
// interface would. Nothing of the driver's headers is used here.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

namespace {

#if defined(__i386__)
#define STDCALL __attribute__((stdcall))
#else
#define STDCALL
#endif

using Slot = void*;
using GetDriver = std::uint16_t(STDCALL*)(const char*, const char*, void**);
using Release = std::int32_t(STDCALL*)(void*);
using GetSQLConnection = std::uint16_t(STDCALL*)(void*, void**);
using SetOption = std::uint16_t(STDCALL*)(void*, std::uint32_t, std::intptr_t);
using GetOption = std::uint16_t(STDCALL*)(void*, std::uint32_t, void*, std::int16_t, std::int16_t*);
using GetErrorMessageLen = std::uint16_t(STDCALL*)(void*, std::int16_t*);
using GetErrorMessage = std::uint16_t(STDCALL*)(void*, char*);
using Connect = std::uint16_t(STDCALL*)(void*, const char*, const char*, const char*);

template <class F>
F SlotOf(void* obj, int index) {
  Slot* table = *static_cast<Slot**>(obj);
  return reinterpret_cast<F>(table[index]);
}

TEST(RawVtable, DriverAndConnectionSlotsByIndex) {
  void* lib = dlopen(VNX_LIB_PATH, RTLD_NOW);
  ASSERT_NE(lib, nullptr) << dlerror();
  auto entry = reinterpret_cast<GetDriver>(dlsym(lib, "getSQLDriverPOSTGRESQL"));
  ASSERT_NE(entry, nullptr);

  void* driver = nullptr;
  ASSERT_EQ(entry("", "", &driver), 0);
  ASSERT_NE(driver, nullptr);

  // ISQLDriver: 4 SetOption, 5 GetOption, 3 getSQLConnection.
  EXPECT_EQ(SlotOf<SetOption>(driver, 4)(driver, 0 /*eDrvBlobSize*/, 4096), 0);
  std::int32_t blob = 0;
  std::int16_t len = 0;
  EXPECT_EQ(SlotOf<GetOption>(driver, 5)(driver, 0, &blob, 4, &len), 0);
  EXPECT_EQ(blob, 4096);
  EXPECT_EQ(len, 4);

  void* conn = nullptr;
  ASSERT_EQ(SlotOf<GetSQLConnection>(driver, 3)(driver, &conn), 0);
  ASSERT_NE(conn, nullptr);

  // ISQLConnection: 8 GetOption (eConnBlobSize 2), 13 getErrorMessageLen, 12 getErrorMessage.
  blob = 0;
  EXPECT_EQ(SlotOf<GetOption>(conn, 8)(conn, 2, &blob, 4, &len), 0);
  EXPECT_EQ(blob, 4096);
  std::int16_t errLen = -1;
  EXPECT_EQ(SlotOf<GetErrorMessageLen>(conn, 13)(conn, &errLen), 0);
  EXPECT_EQ(errLen, 0);
  char text[2] = {'x', 'x'};
  EXPECT_EQ(SlotOf<GetErrorMessage>(conn, 12)(conn, text), 0);
  EXPECT_EQ(text[0], '\0');

  // An unhandled connection option (eConnAutoCommit 0) is accepted and reports nothing.
  EXPECT_EQ(SlotOf<SetOption>(conn, 7)(conn, 0, 1), 0);
  std::int32_t untouched = 0x7777;
  EXPECT_EQ(SlotOf<GetOption>(conn, 8)(conn, 0, &untouched, 4, &len), 0);
  EXPECT_EQ(untouched, 0x7777);

  EXPECT_EQ(SlotOf<Release>(conn, 2)(conn), 0);
  EXPECT_EQ(SlotOf<Release>(driver, 2)(driver), 0);
}

}  // namespace
