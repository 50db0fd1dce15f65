// Rapid Record/Stop, Play/Stop, seek, Forward and Rewind clicks on the real window with random
// gaps, as fast as a user's mouse never could: no hang, no crash, no message box, and the file
// is valid at the end. 1,000 commands, in every run.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <vector>

#include "faults/fault_support.h"
#include "resources/resource.h"
#include "support/test_support.h"

using recorder_driver::RecorderApp;

namespace {

// A click as the user makes it (only on an enabled button), without waiting for the program.
bool QuickClick(RecorderApp& app, int id) {
  HWND button = app.Control(id);
  if (!button || !IsWindowEnabled(button)) return false;
  PostMessageA(app.mainWindow(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(button));
  return true;
}

}  // namespace

class RapidCommands : public ProgramTest {};

TEST_F(RapidCommands, RandomClicksAndSeeksNeverHangCrashOrShowAMessage) {
  const unsigned seed = FaultSeed();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 random(seed);
  constexpr int commands = 1000;
  const std::string path = folder.file("rapid.wav");
  ASSERT_EQ(StartWithNewStereoFile(app, path), "");
  // Some data first, so Play and the slider have something to work on.
  ASSERT_TRUE(app.ClickButton(IDC_RECORD));
  ASSERT_TRUE(PollUntil(
      30000, [&] { return ShownBytes(app).value_or(0) > 0; }, 20));
  ASSERT_TRUE(app.ClickButton(IDC_STOP));

  int clicks[6] = {};
  const DWORD start = GetTickCount();
  for (int i = 0; i < commands; ++i) {
    // One of the things the window offers now; seeks and Stop come up more often, as they
    // are where the runs meet their ends.
    enum Action { Record, Stop, Play, Seek, Forward, Rewind };
    static constexpr int Ids[] = {IDC_RECORD, IDC_STOP, IDC_PLAY, 0, IDC_FORWARD, IDC_REWIND};
    static constexpr int Weights[] = {4, 4, 3, 4, 1, 1};
    const auto slider = app.Slider();
    std::vector<Action> offered;
    for (int a = Record; a <= Rewind; ++a) {
      const bool available =
          a == Seek ? slider.enabled && slider.max > 0 : app.IsControlEnabled(Ids[a]);
      if (available) offered.insert(offered.end(), Weights[a], static_cast<Action>(a));
    }
    if (offered.empty()) {
      // Between two states: the program is still switching, which must not last. Each
      // command has a bound of its own.
      const bool settled = PollUntil(20000, [&] {
        const auto now = app.Slider();
        for (int id : Ids)
          if (id && app.IsControlEnabled(id)) return true;
        return now.enabled && now.max > 0;
      });
      ASSERT_TRUE(settled) << "no control enabled for 20 s after command " << i;
      --i;
      continue;
    }
    const Action action = offered[random() % offered.size()];
    if (action == Seek) {
      clicks[Seek] += app.MoveSlider(static_cast<int>(random() % (slider.max + 1)));
    } else {
      clicks[action] += QuickClick(app, Ids[action]);
    }
    Sleep(random() % 40);  // paces the commands as a hurried user would
    ASSERT_FALSE(app.HasExited()) << "the program ended after command " << i;
    if (i % 10 == 9) {
      ASSERT_TRUE(app.Sync()) << "the program does not answer after command " << i;
      const auto dialogs = app.Dialogs();
      if (!dialogs.empty()) {
        const auto box = app.WaitForMessageBox({}, 200);
        FAIL() << "a window appeared after command " << i << ": "
               << (box ? box->caption + ": " + box->text : RecorderApp::WindowText(dialogs[0]));
      }
    }
  }
  std::printf(
      "%d commands in %lu ms: %d Record, %d Stop, %d Play, %d seeks, %d Forward, "
      "%d Rewind clicks\n",
      commands, GetTickCount() - start, clicks[0], clicks[1], clicks[2], clicks[3], clicks[4],
      clicks[5]);
  EXPECT_GT(clicks[0], commands / 20);
  EXPECT_GT(clicks[2], commands / 40);

  // Whatever runs is stopped; the program comes to rest with its file intact.
  ASSERT_TRUE(app.Sync());
  if (app.IsControlEnabled(IDC_STOP)) {
    ASSERT_TRUE(app.ClickButton(IDC_STOP));
  }
  EXPECT_TRUE(WaitUntilIdle(app, 10000));
  EXPECT_TRUE(app.NoMessageBoxWithin(500));
  app.Close();
  EXPECT_EQ(app.WaitForExit(), 0u);

  const WaveHeader header = ReadWaveHeader(path);
  std::printf("the file holds %u bytes of data\n", header.dataSize);
  EXPECT_TRUE(header.Consistent()) << "RIFF " << header.riffSize << ", data " << header.dataSize
                                   << ", file " << header.fileLength;
  EXPECT_GT(header.dataSize, 0u);
  EXPECT_EQ(header.dataSize % 4, 0u);
  const SoxReading sox = ReadWithSox(path, false);
  ASSERT_TRUE(sox.ok) << sox.error;
  EXPECT_EQ(sox.samples * 4, header.dataSize);
}
