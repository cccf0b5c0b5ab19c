// Applications compiled by the Pascal compilers of the dbExpress era call with a stack
// aligned to 4 bytes only. Every entry must work when reached that way: these tests call the
// exports and interface slots with the stack pointer deliberately off the 16-byte boundary.
#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "tests/harness/dbx_client.h"

#if defined(__i386__)

// vnx_call_skewed(fn, args, count, skew): pushes count 32-bit arguments (stdcall, last
// first) so that at the call the stack pointer is `skew` bytes below a 16-byte boundary,
// calls fn, and returns its EAX.
extern "C" std::uint32_t vnx_call_skewed(const void* fn, const std::uint32_t* args, int count, int skew);
asm(R"(
    .text
    .globl vnx_call_skewed
    .type vnx_call_skewed, @function
vnx_call_skewed:
    pushl %ebp
    movl %esp, %ebp
    pushl %esi
    pushl %edi
    pushl %ebx
    movl 8(%ebp), %eax
    movl 12(%ebp), %esi
    movl 16(%ebp), %ecx
    movl 20(%ebp), %edx
    movl %esp, %edi
    andl $-16, %esp
    subl %edx, %esp
    leal (,%ecx,4), %ebx
    negl %ebx
    andl $15, %ebx
    subl %ebx, %esp
1:  testl %ecx, %ecx
    jz 2f
    pushl -4(%esi,%ecx,4)
    decl %ecx
    jmp 1b
2:  call *%eax
    movl %edi, %esp
    popl %ebx
    popl %edi
    popl %esi
    popl %ebp
    ret
    .size vnx_call_skewed, .-vnx_call_skewed
)");

namespace {

using namespace vnxtest;

std::uint32_t U(const void* p) { return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(p)); }

std::uint16_t CallSkewed(const void* fn, std::initializer_list<std::uint32_t> args, int skew) {
  std::vector<std::uint32_t> a(args);
  return static_cast<std::uint16_t>(vnx_call_skewed(fn, a.data(), static_cast<int>(a.size()), skew));
}

class MisalignedStack : public ::testing::TestWithParam<int> {};

TEST_P(MisalignedStack, EntryPointsAndSlotsWork) {
  const int skew = GetParam();
  DriverLibrary lib;
  void* driver = nullptr;
  ASSERT_EQ(CallSkewed(reinterpret_cast<const void*>(lib.getDriver()), {U(VNX_TEST_LIBPQ), U(""), U(&driver)}, skew), 0);
  Driver d(driver);
  const auto* dv = d.vt();
  EXPECT_EQ(CallSkewed(reinterpret_cast<const void*>(dv->SetOption), {U(driver), vnx::eDrvBlobSize, 512}, skew), 0);
  std::int32_t blob = 0;
  std::int16_t len = 0;
  EXPECT_EQ(CallSkewed(reinterpret_cast<const void*>(dv->GetOption),
                       {U(driver), vnx::eDrvBlobSize, U(&blob), 4, U(&len)}, skew), 0);
  EXPECT_EQ(blob, 512);

  void* conn = nullptr;
  ASSERT_EQ(CallSkewed(reinterpret_cast<const void*>(dv->getSQLConnection), {U(driver), U(&conn)}, skew), 0);
  Connection c(conn);
  const auto* cv = c.vt();
  EXPECT_EQ(CallSkewed(reinterpret_cast<const void*>(cv->SetOption), {U(conn), vnx::eConnBlobSize, 77}, skew), 0);
  blob = 0;
  EXPECT_EQ(CallSkewed(reinterpret_cast<const void*>(cv->GetOption),
                       {U(conn), vnx::eConnBlobSize, U(&blob), 4, U(&len)}, skew), 0);
  EXPECT_EQ(blob, 77);
  // A connect that fails (no such host) runs the loader, the trace and libpq's error path.
  EXPECT_EQ(CallSkewed(reinterpret_cast<const void*>(cv->connect),
                       {U(conn), U("/nonexistent-dir:1/nodb"), U("u"), U("p")}, skew),
            vnx::DBXERR_FAILED);
  std::int16_t errLen = 0;
  EXPECT_EQ(CallSkewed(reinterpret_cast<const void*>(cv->getErrorMessageLen), {U(conn), U(&errLen)}, skew), 0);
  std::vector<char> text(static_cast<std::size_t>(errLen) + 1);
  EXPECT_EQ(CallSkewed(reinterpret_cast<const void*>(cv->getErrorMessage), {U(conn), U(text.data())}, skew), 0);
  EXPECT_EQ(std::string(text.data()).rfind("Could not connect to the database server. Reason: [", 0), 0u) << text.data();
  EXPECT_EQ(CallSkewed(reinterpret_cast<const void*>(cv->disconnect), {U(conn)}, skew), 0);

  // CancelQuery takes its argument in EAX: nil does nothing.
  vnx_call_skewed(reinterpret_cast<const void*>(lib.cancelQuery()), nullptr, 0, skew);
}

INSTANTIATE_TEST_SUITE_P(Skews, MisalignedStack, ::testing::Values(4, 8, 12));

}  // namespace

#endif
