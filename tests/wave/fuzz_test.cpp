// Mutated and truncated wave files opened the way the recent-file command opens them: each one
// either opens or ends with one of Open's messages, never crashes, hangs or reads past the
// format block. RECORDER_LONG=1 runs 10,000 files instead of 2,000; RECORDER_FUZZ_SEED picks
// another sequence.
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <random>
#include <map>
#include <set>

#include "wave_fixture.h"

#include "state/context.h"
#include "support/watchdog.h"
#include "wave/format.h"
#include "wave/wave_file.h"

namespace {

std::vector<Bytes> Seeds() {
  Bytes fact;
  PutLe32(fact, 5000);
  Bytes extensible = PcmFormat(2, 44100, 24, true);
  extensible[0] = 0xFE;
  extensible[1] = 0xFF;
  extensible[16] = 22;  // cbSize
  for (int i = 0; i < 22; ++i) extensible.push_back(static_cast<unsigned char>(i));
  Bytes newLayout(50, 0);
  const Bytes head = PcmFormat(1, 11025, 8, true);
  std::copy(head.begin(), head.end(), newLayout.begin());
  Bytes zero;
  PutLe32(zero, 0);
  return {
      Riff("WAVE", {Chunk("fmt ", PcmFormat(1, 11025, 8)), Chunk("data", Samples(301))}),
      Riff("WAVE", {Chunk("fmt ", PcmFormat(2, 44100, 16, true)), Chunk("data", Samples(400))}),
      Riff("WAVE", {Chunk("fmt ", extensible), Chunk("fact", fact), Chunk("data", Samples(120))}),
      Riff("WAVE", {Chunk("LIST", Bytes(9, 'i')), Chunk("fmt ", PcmFormat(1, 8000, 8)),
                    Chunk("fact", fact), Chunk("junk", Bytes(3, 1)), Chunk("data", Samples(33))}),
      Riff("WAVE", {Chunk("fmt ", newLayout), Chunk("fact", zero), Chunk("data", Samples(64))}),
  };
}

// Offsets of the chunk headers inside the form (plus the RIFF header at 0).
std::vector<size_t> ChunkHeaders(const Bytes& file) {
  std::vector<size_t> headers{0};
  uint64_t position = 12;
  while (position + 8 <= file.size()) {
    headers.push_back(static_cast<size_t>(position));
    position += 8 + ((static_cast<uint64_t>(Le32(file, position + 4)) + 1) & ~uint64_t{1});
  }
  return headers;
}

void SetLe32(Bytes& file, size_t offset, uint32_t value) {
  for (int i = 0; i < 4 && offset + i < file.size(); ++i)
    file[offset + i] = (value >> (8 * i)) & 0xFF;
}

Bytes Mutate(Bytes file, std::mt19937& random) {
  auto pick = [&](size_t n) { return n ? static_cast<size_t>(random() % n) : 0; };
  const int mutations = 1 + static_cast<int>(random() % 3);
  for (int m = 0; m < mutations && !file.empty(); ++m) {
    const std::vector<size_t> headers = ChunkHeaders(file);
    const size_t header = headers[pick(headers.size())];
    switch (random() % 7) {
      case 0: {  // a chunk size that is zero, odd, huge, wrapping or past the end
        const uint32_t sizes[] = {0,
                                  1,
                                  static_cast<uint32_t>(random() | 1),
                                  0xFFFFFFFF,
                                  0xFFFFFFF8,
                                  0xFFFFFFF7,
                                  0x7FFFFFFF,
                                  0x80000000,
                                  static_cast<uint32_t>(file.size() + pick(64)),
                                  static_cast<uint32_t>(pick(64))};
        SetLe32(file, header + 4, sizes[pick(std::size(sizes))]);
        break;
      }
      case 1:  // cut anywhere, often inside a chunk header
        file.resize(random() % 2 ? pick(file.size() + 1)
                                 : std::min(file.size(), header + pick(12)));
        break;
      case 2:  // a few random bytes
        for (int i = 0, n = 1 + static_cast<int>(pick(8)); i < n; ++i)
          file[pick(file.size())] = static_cast<unsigned char>(random());
        break;
      case 3: {  // a format field set to zero or anything
        const size_t field = 20 + 2 * pick(9);
        const uint16_t value = random() % 2 ? 0 : static_cast<uint16_t>(random());
        if (field + 1 < file.size()) {
          file[field] = value & 0xFF;
          file[field + 1] = value >> 8;
        }
        break;
      }
      case 4: {  // another chunk identifier
        static const char* ids[] = {"fmt ", "data", "fact", "LIST", "RIFF", "WAVE", "\0\0\0\0"};
        const char* id = ids[pick(std::size(ids))];
        for (int i = 0; i < 4 && header + i < file.size(); ++i) file[header + i] = id[i];
        break;
      }
      case 5: {  // an extra chunk somewhere
        const Bytes extra = Chunk(random() % 2 ? "data" : "fmt ", Samples(pick(60)));
        const size_t at = headers[pick(headers.size())] + (header == 0 ? 12 : 0);
        file.insert(file.begin() + std::min(at, file.size()), extra.begin(), extra.end());
        break;
      }
      case 6:  // the RIFF size itself
        SetLe32(file, 4,
                random() % 2 ? static_cast<uint32_t>(pick(file.size() + 8))
                             : static_cast<uint32_t>(random()));
        break;
    }
  }
  return file;
}

// A format block whose last byte ends a page, followed by a page nothing may touch.
class GuardedFormatBlock {
 public:
  explicit GuardedFormatBlock(DWORD size) {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    page_ = info.dwPageSize;
    base_ = static_cast<unsigned char*>(
        VirtualAlloc(nullptr, 2 * page_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD old;
    if (base_) VirtualProtect(base_ + page_, page_, PAGE_NOACCESS, &old);
    block_ = base_ ? base_ + page_ - size : nullptr;
  }
  ~GuardedFormatBlock() {
    if (base_) VirtualFree(base_, 0, MEM_RELEASE);
  }
  unsigned char* block() const { return block_; }

 private:
  DWORD page_ = 0;
  unsigned char* base_ = nullptr;
  unsigned char* block_ = nullptr;
};

const std::set<std::string>& MessagesFor(int code) {
  static const std::map<int, std::set<std::string>> messages = {
      {-1, {"Open for read failed."}},
      {-2, {"Wave format not found in file."}},
      {-3, {"Format chunk not found."}},
      {-4,
       {"Format size in file doesn't match ACM's.", "Error reading format chunk.",
        UnusableFormatMessage, UndecodableFormatMessage, FormatChunkTooShortMessage,
        BlockLargerThanBufferMessage}},
      {-5, {"Data chunk not found."}},
      {-6, {"The data chunk contains no data."}},
  };
  static const std::set<std::string> none;
  auto it = messages.find(code);
  return it == messages.end() ? none : it->second;
}

bool IsNameWarning(const std::string& text) {
  return text == "Warning, FormatTagDetails function failed" ||
         text == "Warning, FormatDetails function failed";
}

TEST_F(WaveFileTest, MutatedFilesOpenOrFailWithAListedMessage) {
  const char* longRun = std::getenv("RECORDER_LONG");
  const int count = longRun && std::strcmp(longRun, "1") == 0 ? 10000 : 2000;
  const char* seedText = std::getenv("RECORDER_FUZZ_SEED");
  const unsigned seed = seedText ? static_cast<unsigned>(std::strtoul(seedText, nullptr, 10)) : 4;
  std::mt19937 random(seed);

  GuardedFormatBlock guarded(MaxFormatSize);
  ASSERT_NE(guarded.block(), nullptr);
  std::memcpy(guarded.block(), CurrentFormat, MaxFormatSize);
  WAVEFORMATEX* const realBlock = CurrentFormat;
  CurrentFormat = reinterpret_cast<WAVEFORMATEX*>(guarded.block());

  const std::vector<Bytes> seeds = Seeds();
  const std::string path = folder_.file("fuzz.wav");
  int opened = 0;
  std::map<int, int> results;
  std::string currentCase;
  Watchdog watchdog(30);  // one open taking that long is a hang
  const DWORD started = GetTickCount();

  for (int i = 0; i < count && !HasFailure(); ++i) {
    const Bytes file = Mutate(seeds[i % seeds.size()], random);
    ASSERT_TRUE(WriteWholeFile(path, file));
    currentCase = "seed " + std::to_string(seed) + " file " + std::to_string(i);
    boxes_.clear();
    watchdog.Step(currentCase);
    const int result = OpenPath(path);
    ++results[result];

    std::vector<std::string> errors;
    for (const auto& box : boxes_.boxes()) {
      EXPECT_EQ(box.caption, "Error") << currentCase;
      if (!IsNameWarning(box.text)) errors.push_back(box.text);
    }
    if (result == 0) {
      ++opened;
      EXPECT_TRUE(errors.empty()) << currentCase << ": " << errors.front();
      EXPECT_LE(g_context.dataOffset, file.size()) << currentCase;
      EXPECT_NE(g_context.dataSize, 0u) << currentCase;
      EXPECT_EQ(static_cast<DWORD>(SendMessageA(g_controls.slider, TBM_GETRANGEMAX, 0, 0)),
                g_context.dataSize / CurrentFormat->nBlockAlign)
          << currentCase;
    } else {
      ASSERT_EQ(errors.size(), 1u) << currentCase << " result " << result;
      EXPECT_EQ(MessagesFor(result).count(errors[0]), 1u)
          << currentCase << " result " << result << ": " << errors[0];
      EXPECT_NE(result, -1) << currentCase;  // every file here is readable
    }
    // Whatever happened, the format in use can still be divided by.
    EXPECT_TRUE(FormatIsUsable(CurrentFormat, MaxFormatSize)) << currentCase;
  }

  std::memcpy(realBlock, CurrentFormat, MaxFormatSize);
  CurrentFormat = realBlock;

  std::printf("%d files in %lu ms, %d opened; results:", count, GetTickCount() - started, opened);
  for (const auto& [code, n] : results) std::printf(" %d:%d", code, n);
  std::printf("\n");
  // The mutations must reach both sides, or the run proves little.
  EXPECT_GT(opened, count / 20);
  EXPECT_GE(results.size(), 5u);
}

}  // namespace
