// Loading and binding libpq: the failure messages, the retry in the program's directory,
// and the unbound state after every failure. The table is process-wide, so the tests run in
// order and the real library is bound last.
#include <gtest/gtest.h>

#include <string>

#include "common/errors.h"
#include "libpq/libpq_api.h"

namespace {

std::string LoadError(const std::string& name) {
  try {
    vnx::LoadLibpq(name);
  } catch (const vnx::EVNXLibpqError& e) {
    return e.what();
  }
  return "(no error)";
}

TEST(LibpqLoader, MissingLibraryIsReportedWithTheLoadersReason) {
  ASSERT_FALSE(vnx::LibpqLoaded());
  std::string message = LoadError("/nonexistent/libpq.so.5");
  EXPECT_EQ(message.rfind("Could not load the LIBPQ library [/nonexistent/libpq.so.5]; reason: [", 0), 0u)
      << message;
  EXPECT_NE(message.find("No such file or directory"), std::string::npos) << message;
  EXPECT_EQ(message.substr(message.size() - 2), "].");
  EXPECT_FALSE(vnx::LibpqLoaded());
  EXPECT_TRUE(vnx::LoadedLibpqName().empty());
}

TEST(LibpqLoader, LibraryLackingTheLastNameIsRefusedAndNothingStaysBound) {
  std::string lib = std::string(VNX_FAKEPQ_DIR) + "/libfakepq_no_lo_unlink.so";
  std::string message = LoadError(lib);
  EXPECT_EQ(message, "Internal LIBPQ [" + lib + "] error: [The function \"lo_unlink\" could not be loaded from the libpq library [" +
                         lib + "].]");
  EXPECT_FALSE(vnx::LibpqLoaded());
  EXPECT_EQ(vnx::PQ.PQconnectdb, nullptr);
  EXPECT_EQ(vnx::PQ.lo_close, nullptr);
  EXPECT_TRUE(vnx::LoadedLibpqName().empty());
  // The next attempt starts again from the beginning and fails the same way.
  EXPECT_EQ(LoadError(lib), message);
}

TEST(LibpqLoader, NamesNoPartCallsAreStillRequired) {
  std::string lib = std::string(VNX_FAKEPQ_DIR) + "/libfakepq_no_PQexecParams.so";
  EXPECT_NE(LoadError(lib).find("The function \"PQexecParams\" could not be loaded"), std::string::npos);
  EXPECT_FALSE(vnx::LibpqLoaded());
}

TEST(LibpqLoader, RelativeNameIsRetriedInTheProgramsDirectory) {
  // Not on the loader's search path, but beside the test program: the retry finds it, so
  // the failure is the binding one, not "could not load".
  std::string message = LoadError("libfakepq_no_lo_unlink.so");
  EXPECT_EQ(message.rfind("Internal LIBPQ [libfakepq_no_lo_unlink.so] error: [The function \"lo_unlink\"", 0), 0u)
      << message;
}

TEST(LibpqLoader, RealLibraryBindsOnceAndStaysBound) {
  ASSERT_TRUE(vnx::LoadLibpq(VNX_TEST_LIBPQ));
  EXPECT_TRUE(vnx::LibpqLoaded());
  EXPECT_EQ(vnx::LoadedLibpqName(), VNX_TEST_LIBPQ);
  EXPECT_NE(vnx::PQ.lo_unlink, nullptr);
  EXPECT_NE(vnx::PQ.PQescapeStringConn, nullptr);
  // Already bound: nothing is done.
  EXPECT_FALSE(vnx::LoadLibpq("/nonexistent/libpq.so"));
  EXPECT_EQ(vnx::LoadedLibpqName(), VNX_TEST_LIBPQ);
}

}  // namespace
