// The buffer pool: allocation failures with their messages and codes, a release that is
// harmless after a partial allocation and when repeated, and the chunk length per format.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>

#include "engine/buffer_pool.h"
#include "support/test_support.h"
#include "wave/format.h"

namespace {

using ::testing::ElementsAre;

std::atomic<int> g_allocs{0};
std::atomic<int> g_failAlloc{0};  // this allocation (from 1) fails
std::atomic<int> g_locks{0};
std::atomic<int> g_failLock{0};
std::vector<HGLOBAL> g_handles;

HGLOBAL WINAPI CountingAlloc(UINT flags, SIZE_T bytes) {
  if (++g_allocs == g_failAlloc) return nullptr;
  HGLOBAL block = ::GlobalAlloc(flags, bytes);
  g_handles.push_back(block);
  return block;
}
LPVOID WINAPI CountingLock(HGLOBAL block) {
  if (++g_locks == g_failLock) return nullptr;
  return ::GlobalLock(block);
}

class BufferPoolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_allocs = g_failAlloc = g_locks = g_failLock = 0;
    g_handles.clear();
    std::memset(format_, 0, sizeof format_);
    CurrentFormat = reinterpret_cast<WAVEFORMATEX*>(format_);
    CurrentFormat->nBlockAlign = 1;
  }
  void TearDown() override { FreeAudioBuffers(); }
  // True when every block handed out has been freed (a freed handle no longer has flags).
  static bool AllFreed() {
    for (HGLOBAL block : g_handles)
      if (GlobalFlags(block) != GMEM_INVALID_HANDLE) return false;
    return true;
  }

  alignas(8) unsigned char format_[50];
  MessageBoxCapture boxes_;
  ScopedService<decltype(sys.GlobalAlloc)> alloc_{sys.GlobalAlloc, &CountingAlloc};
  ScopedService<decltype(sys.GlobalLock)> lock_{sys.GlobalLock, &CountingLock};
};

TEST_F(BufferPoolTest, AllocatesFourLockedBlocksAndBindsEachHeaderToItsBuffer) {
  ASSERT_EQ(AllocAudioBuffers(nullptr), 0);
  EXPECT_EQ(g_allocs, 4);
  for (int i = 0; i < 2; ++i) {
    ASSERT_NE(g_pool.headers[i], nullptr);
    EXPECT_EQ(g_pool.headers[i]->lpData, g_pool.buffers[i]);
    EXPECT_EQ(g_pool.headers[i]->dwFlags, 0u);
    g_pool.buffers[i][BufferCapacity - 1] = 1;  // the whole buffer is usable
  }
  EXPECT_TRUE(boxes_.boxes().empty());
  FreeAudioBuffers();
  EXPECT_TRUE(AllFreed());
  FreeAudioBuffers();  // a second release frees nothing
}

TEST_F(BufferPoolTest, EachFailureHasItsMessageAndCodeAndLeavesWhatItHadForTheRelease) {
  const struct {
    int failAlloc, failLock, result, blocksKept;
    const char* message;
  } cases[] = {
      {1, 0, -3, 0, "Error allocating wave header memory."},
      {2, 0, -3, 1, "Error allocating wave header memory."},
      {0, 2, -3, 2, "Couldn't lock header memory for recording."},
      {3, 0, -4, 2, "Error allocating wave buffer memory."},
      {4, 0, -4, 3, "Error allocating wave buffer memory."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    SetUp();
    boxes_.clear();
    g_failAlloc = c.failAlloc;
    g_failLock = c.failLock;
    EXPECT_EQ(AllocAudioBuffers(nullptr), c.result);
    ASSERT_EQ(boxes_.boxes().size(), 1u);
    EXPECT_EQ(boxes_.boxes()[0].text, c.message);
    EXPECT_EQ(boxes_.boxes()[0].caption, "Error");
    EXPECT_EQ(static_cast<int>(g_handles.size()), c.blocksKept);
    FreeAudioBuffers();
    EXPECT_TRUE(AllFreed());
    FreeAudioBuffers();
    for (int i = 0; i < 2; ++i) {
      EXPECT_EQ(g_pool.headerHandles[i], nullptr);
      EXPECT_EQ(g_pool.bufferHandles[i], nullptr);
    }
  }
}

TEST_F(BufferPoolTest, ChunkLengthIsTheLargestWholeNumberOfBlocks) {
  ASSERT_EQ(AllocAudioBuffers(nullptr), 0);
  const struct {
    WORD align;
    DWORD chunk;
  } cases[] = {{1, 64000}, {2, 64000}, {3, 63999}, {4, 64000}, {1024, 63488}, {0, 64000}};
  for (const auto& c : cases) {
    CurrentFormat->nBlockAlign = c.align;
    g_pool.headers[0]->dwFlags = WHDR_DONE;
    g_pool.headers[1]->dwBytesRecorded = 99;
    g_pool.currentBuffer = 1;
    ResetAudioBuffers();
    EXPECT_EQ(g_pool.ChunkLength, c.chunk) << c.align;
    for (int i = 0; i < 2; ++i) {
      WAVEHDR expected{};
      expected.lpData = g_pool.buffers[i];
      expected.dwBufferLength = c.chunk;
      EXPECT_EQ(std::memcmp(g_pool.headers[i], &expected, sizeof expected), 0);
    }
    EXPECT_EQ(g_pool.currentBuffer, 1);  // left alone
  }
}

}  // namespace
