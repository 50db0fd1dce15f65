#include "engine/engine_fixture.h"

#include <commctrl.h>

#include <cstring>

#include "state/context.h"
#include "app/main_dialog.h"
#include "state/display.h"
#include "engine/buffer_pool.h"
#include "engine/engine_notify.h"
#include "engine/player.h"
#include "engine/recorder.h"
#include "faults/wave_header.h"
#include "resources/resource.h"
#include "support/random_bytes.h"
#include "support/wave_builder.h"
#include "wave/format.h"

namespace {

constexpr DWORD FormatBlockSize = 50;
alignas(8) unsigned char g_formatBlock[FormatBlockSize];

// The window's procedure, as the shell routes the engine's messages and timers.
INT_PTR CALLBACK TestDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      return TRUE;
    case WM_ENGINE_NOTIFY:
      HandleEngineNotify(window, wParam, lParam);
      return TRUE;
    case WM_TIMER:
      HandleTimer(window, wParam);
      return TRUE;
  }
  return FALSE;
}

}  // namespace

std::vector<unsigned char> WaveOnDisk::Data() const {
  if (!valid) return {};
  return ChunkPayload(bytes, dataOffset, dataSize);
}

WaveOnDisk ReadWave(const std::string& path) {
  const WaveHeader header = ReadWaveHeader(path);
  WaveOnDisk wave;
  wave.bytes = ReadWholeFile(path);
  wave.valid = header.dataOffset != 0;
  wave.riffSize = header.riffSize;
  wave.dataOffset = header.dataOffset;
  wave.dataSize = header.dataSize;
  return wave;
}

std::vector<unsigned char> Pattern(size_t count, unsigned seed) {
  return RandomBytes(count, seed * 2654435761u + 12345);
}

void EngineTest::SetUp() {
  g_instance = GetModuleHandleA(nullptr);
  InitCommonControls();
  std::memset(g_formatBlock, 0, sizeof g_formatBlock);
  MaxFormatSize = FormatBlockSize;
  CurrentFormat = reinterpret_cast<WAVEFORMATEX*>(g_formatBlock);
  SetPcm(1, 11025, 8);

  window_ = CreateDialogParamA(g_instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, TestDialogProc, 0);
  ASSERT_NE(window_, nullptr);
  g_context.mainWindow = window_;
  CreateControls(g_instance, window_);
  ASSERT_NE(g_controls.slider, nullptr);

  boxes_ = std::make_unique<MessageBoxCapture>();
  ASSERT_EQ(AllocAudioBuffers(window_), 0);
  folder_ = std::make_unique<TempFolder>();
}

void EngineTest::TearDown() {
  // Whatever a test left running ends here, so the pool is never freed under a device.
  if (g_context.state == RecorderState::Recording) StopRecording(window_);
  g_context.state = RecorderState::Idle;
  StopPlayback(window_, 1);
  PumpFor(20);
  FreeAudioBuffers();
  boxes_.reset();
  if (window_) DestroyWindow(window_);
  g_context.mainWindow = nullptr;
  folder_.reset();
}

void EngineTest::SetPcm(WORD channels, DWORD samplesPerSec, WORD bits) {
  *CurrentFormat = PcmWaveFormat(channels, samplesPerSec, bits);
}

DWORD EngineTest::UseWaveFile(const std::string& path, const std::vector<unsigned char>& data,
                              long long declared) {
  const DWORD size = declared < 0 ? static_cast<DWORD>(data.size()) : static_cast<DWORD>(declared);
  Bytes fact;
  PutLe32(fact, 1234);  // a sample count the recorder must leave alone
  const DWORD dataOffset = 12 + 8 + MaxFormatSize + 12 + 8;
  Bytes out = Riff("WAVE",
                   {Chunk("fmt ", Bytes(g_formatBlock, g_formatBlock + MaxFormatSize)),
                    Chunk("fact", fact), Chunk("data", data, size)},
                   dataOffset + size - 8);
  out.resize(dataOffset + data.size());  // without a pad byte after the data
  EXPECT_TRUE(WriteWholeFile(path, out));

  lstrcpynA(g_context.filePath, path.c_str(), sizeof g_context.filePath);
  lstrcpynA(g_context.loadedPath, path.c_str(), sizeof g_context.loadedPath);
  lstrcpynA(g_context.driveRoot, path.c_str(), sizeof g_context.driveRoot);
  g_context.dataOffset = dataOffset;
  g_context.dataSize = size;
  g_context.fileLoaded = true;
  SliderMessage(TBM_SETRANGEMIN, 0);
  SliderMessage(TBM_SETRANGEMAX, size / CurrentFormat->nBlockAlign);
  SliderMessage(TBM_SETPOS, 0);
  UpdateControlStates(window_);
  return dataOffset;
}

bool EngineTest::PumpUntil(const std::function<bool()>& done, DWORD ms) {
  const DWORD start = GetTickCount();
  MSG msg;
  for (;;) {
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (!IsDialogMessageA(window_, &msg)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
      }
    }
    if (done()) return true;
    if (GetTickCount() - start >= ms) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 2, QS_ALLINPUT);
  }
}

void EngineTest::PumpFor(DWORD ms) {
  PumpUntil([] { return false; }, ms);
}

bool EngineTest::Enabled(int id) const {
  return IsWindowEnabled(g_controls.buttons[id - IDC_REWIND]) != FALSE;
}

LRESULT EngineTest::SliderPos() const {
  return SendMessageA(g_controls.slider, TBM_GETPOS, 0, 0);
}
LRESULT EngineTest::SliderMax() const {
  return SendMessageA(g_controls.slider, TBM_GETRANGEMAX, 0, 0);
}
void EngineTest::SetSlider(LRESULT pos) {
  SliderMessage(TBM_SETPOS, pos);
}

std::vector<std::string> EngineTest::Boxes() const {
  std::vector<std::string> out;
  for (const auto& box : boxes_->boxes()) out.push_back(box.caption + "|" + box.text);
  return out;
}
