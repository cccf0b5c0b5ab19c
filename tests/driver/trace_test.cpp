// Tracing: chunking of long texts, trimming, categories and the descriptor fields.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "driver/sql_connection.h"
#include "tests/harness/connection_access.h"

namespace {

struct Call {
  std::string text;
  std::int32_t category;
  std::uintptr_t clientData;
  std::uint16_t totalLen;
};
std::vector<Call> g_calls;

std::int32_t VNX_STDCALL Callback(std::int32_t callType, void* info) {
  EXPECT_EQ(callType, vnx::cbTRACE);
  auto* desc = static_cast<vnx::SQLTRACEDesc*>(info);
  // A full chunk fills the field without a terminator.
  std::size_t n = strnlen(desc->pszTrace, sizeof desc->pszTrace);
  g_calls.push_back({std::string(desc->pszTrace, n), desc->eTraceCat, desc->ClientData, desc->uTotalMsgLen});
  return 0;
}

class TraceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_calls.clear();
    conn = new vnx::TVNXISQLConnection(nullptr);
    conn->AddRef();
    conn->SetOption(vnx::eConnCallBack, reinterpret_cast<vnx::OptionValue>(&Callback));
    conn->SetOption(vnx::eConnCallBackInfo, 0x5151);
  }
  void TearDown() override { conn->Release(); }
  vnx::TVNXISQLConnection* conn = nullptr;
};

TEST_F(TraceTest, LongTextArrivesInChunksOf1024) {
  std::string text;
  for (int i = 0; i < 2500; ++i) text += static_cast<char>('a' + i % 26);
  conn->Trace(text, 7);
  ASSERT_EQ(g_calls.size(), 3u);
  EXPECT_EQ(g_calls[0].text, text.substr(0, 1024));
  EXPECT_EQ(g_calls[1].text, text.substr(1024, 1024));
  EXPECT_EQ(g_calls[2].text, text.substr(2048));
  EXPECT_EQ(g_calls[2].text.size(), 452u);
  for (const Call& c : g_calls) {
    EXPECT_EQ(c.category, 7);
    EXPECT_EQ(c.clientData, 0x5151u);
  }
  // Each call sees the length of the chunk sent before it.
  EXPECT_EQ(g_calls[0].totalLen, 0);
  EXPECT_EQ(g_calls[1].totalLen, 1024);
  EXPECT_EQ(g_calls[2].totalLen, 1024);

  conn->Trace("next", 4);
  ASSERT_EQ(g_calls.size(), 4u);
  EXPECT_EQ(g_calls[3].totalLen, 452);
}

TEST_F(TraceTest, ChunkBoundaries) {
  for (std::size_t len : {1023u, 1024u, 1025u, 2048u}) {
    g_calls.clear();
    conn->Trace(std::string(len, 'x'), 1);
    std::size_t expected = (len + 1023) / 1024;
    ASSERT_EQ(g_calls.size(), expected) << len;
    std::size_t total = 0;
    for (const Call& c : g_calls) total += c.text.size();
    EXPECT_EQ(total, len);
  }
}

TEST_F(TraceTest, BlanksAndLineBreaksAreTrimmed) {
  conn->Trace("  \t\r\n hello world \r\n", 2);
  ASSERT_EQ(g_calls.size(), 1u);
  EXPECT_EQ(g_calls[0].text, "hello world");
  conn->Trace("   \r\n\t ", 2);
  conn->Trace("", 2);
  EXPECT_EQ(g_calls.size(), 1u);
}

TEST_F(TraceTest, SetErrorStoresAndTracesWithTheErrorCategory) {
  conn->SetError("something failed");
  EXPECT_EQ(conn->ErrorMessage, "something failed");
  ASSERT_EQ(g_calls.size(), 1u);
  EXPECT_EQ(g_calls[0].category, vnx::trcError);
}

TEST_F(TraceTest, NothingIsWrittenWithoutACallback) {
  conn->SetOption(vnx::eConnCallBack, 0);
  std::memset(vnx::TVNXConnectionTestAccess::TraceDesc(*conn).pszTrace, 'z', 8);
  conn->Trace("hello", 4);
  conn->TraceRes(4, "Connecting to database %s on server %s", "db", "host");
  EXPECT_TRUE(g_calls.empty());
  EXPECT_EQ(vnx::TVNXConnectionTestAccess::TraceDesc(*conn).pszTrace[0], 'z');
}

}  // namespace
