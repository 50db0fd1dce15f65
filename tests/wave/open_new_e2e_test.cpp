// Open and New in the real program with files that earlier versions mishandled: boxes shown in
// the middle of Open, sizes a file declares beyond what it holds, formats the compression
// manager cannot describe or no codec can decode, and Exit while the window is busy.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "recorder_driver.h"
#include "resources/resource.h"
#include "running_app_test.h"
#include "support/poll.h"
#include "support/test_support.h"
#include "support/wave_builder.h"
#include "wave/wave_file.h"

using recorder_driver::RecorderApp;

namespace {

class OpenNewE2E : public RunningAppTest {
 protected:
  void PostClick(int id) { app.PostCommand(id, BN_CLICKED, app.Control(id), false); }

  // Records a little at the slider's place and stops.
  void RecordBriefly() {
    ASSERT_TRUE(app.ClickButton(IDC_RECORD));
    ASSERT_TRUE(PollUntil(10000, [&] { return app.ControlText(IDC_POSITION) != "00:00.0"; }));
    ASSERT_TRUE(app.ClickButton(IDC_STOP));
    ASSERT_TRUE(app.NoMessageBoxWithin(100));
  }

  TempFolder folder;
};

// Holds a file open with no sharing, so the program cannot open it (read-only attributes do
// not stop a program running as root under Wine).
struct ExclusiveHold {
  explicit ExclusiveHold(const std::string& path)
      : handle(CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)) {}
  ~ExclusiveHold() {
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
  ExclusiveHold(const ExclusiveHold&) = delete;
  ExclusiveHold& operator=(const ExclusiveHold&) = delete;
  HANDLE handle;
};

// A "fmt " payload of the given tag with its codec's extra bytes.
Bytes CodecFormat(WORD tag, WORD channels, WORD blockAlign, WORD bits, Bytes extra) {
  Bytes fmt;
  const auto put16 = [&](WORD v) { fmt.insert(fmt.end(), {BYTE(v), BYTE(v >> 8)}); };
  put16(tag);
  put16(channels);
  PutLe32(fmt, 8000);
  PutLe32(fmt, 4055);
  put16(blockAlign);
  put16(bits);
  put16(static_cast<WORD>(extra.size()));
  fmt.insert(fmt.end(), extra.begin(), extra.end());
  return fmt;
}

// WAVE_FORMAT_EXTENSIBLE around a plain tag (1 PCM, 3 IEEE float).
Bytes ExtensibleFormat(WORD plainTag, WORD channels, DWORD rate, WORD bits) {
  Bytes fmt = PcmFormat(channels, rate, bits, true);
  fmt[0] = 0xFE;
  fmt[1] = 0xFF;
  fmt[16] = 22;
  fmt.insert(fmt.end(), {BYTE(bits), 0});
  PutLe32(fmt, channels == 2 ? 3 : 4);
  PutLe32(fmt, plainTag);
  fmt.insert(fmt.end(), {0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71});
  return fmt;
}

// Record pressed while Open shows its warning box acts on nothing: the box comes from a file
// whose format the compression manager cannot describe, and neither file may change.
TEST_F(OpenNewE2E, CommandsWaitUntilOpenHasFinished) {
  const std::string loaded = folder.file("loaded.wav"), odd = folder.file("odd.wav");
  const Bytes loadedBytes = PcmWave(11025);
  const Bytes oddBytes =
      Riff("WAVE", {Chunk("fmt ", PcmFormat(1, 3000, 8)), Chunk("data", Samples(3000))});
  ASSERT_TRUE(WriteWholeFile(loaded, loadedBytes));
  ASSERT_TRUE(WriteWholeFile(odd, oddBytes));
  ASSERT_TRUE(app.OpenThroughDialog(loaded));
  ASSERT_TRUE(app.IsControlEnabled(IDC_RECORD));

  app.PostCommand(IDM_OPEN, 0, nullptr, false);
  ASSERT_TRUE(app.AnswerFileDialog(odd));
  const auto warning = app.WaitForMessageBox();
  ASSERT_TRUE(warning);
  EXPECT_NE(warning->text.find("Warning"), std::string::npos) << warning->text;
  PostClick(IDC_RECORD);
  ASSERT_TRUE(app.Sync());
  ASSERT_TRUE(RecorderApp::PressOk(warning->window));
  while (const auto more = app.AcknowledgeMessageBox({}, 500)) {
  }
  ASSERT_TRUE(app.Sync());
  const bool recording = app.IsControlEnabled(IDC_STOP);
  if (recording) app.ClickButton(IDC_STOP);
  EXPECT_FALSE(recording);
  EXPECT_EQ(ReadWholeFile(loaded), loadedBytes);
  EXPECT_EQ(ReadWholeFile(odd), oddBytes);
  EXPECT_EQ(app.Caption(), "Audio Recorder - odd.wav");
  EXPECT_EQ(app.ControlText(IDC_LENGTH), "00:01.0");
}

// Placeholder and runaway sizes: the file opens with what it holds, plays, and a recording
// writes the true sizes.
TEST_F(OpenNewE2E, SizesBeyondTheFileAreCutToWhatItHolds) {
  struct Case {
    const char* name;
    size_t field;
    DWORD value;
  } cases[] = {{"data-placeholder", 40, 0xFFFFFFFF},
               {"riff-placeholder", 4, 0xFFFFFFFF},
               {"riff-zero", 4, 0},
               {"riff-beyond", 4, 1000000}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = folder.file(std::string(c.name) + ".wav");
    Bytes bytes = PcmWave(11025);
    for (int i = 0; i < 4; ++i) bytes[c.field + i] = BYTE(c.value >> (8 * i));
    ASSERT_TRUE(WriteWholeFile(path, bytes));
    ASSERT_TRUE(app.OpenThroughDialog(path));
    EXPECT_TRUE(app.NoMessageBoxWithin(100));
    ASSERT_EQ(app.ControlText(IDC_LENGTH), "00:01.0");
    EXPECT_EQ(app.Slider().max, 11025);

    // Plays the data through to its end. The output here is not paced, so the run may be over
    // before anyone looks; a run that never started, or ended at once, leaves the slider and
    // the position at the start.
    ASSERT_EQ(app.Slider().pos, 0);
    ASSERT_TRUE(app.ClickButton(IDC_PLAY));
    EXPECT_TRUE(PollUntil(20000, [&] {
      return app.IsControlEnabled(IDC_RECORD) && !app.IsControlEnabled(IDC_STOP);
    }));
    while (const auto box = app.AcknowledgeMessageBox({}, 100)) ADD_FAILURE() << box->text;
    EXPECT_EQ(app.Slider().pos, 11025);
    EXPECT_EQ(app.ControlText(IDC_POSITION), "00:01.0");
    ASSERT_TRUE(app.ClickButton(IDC_REWIND));
    RecordBriefly();
    const Bytes after = ReadWholeFile(path);
    ASSERT_GE(after.size(), bytes.size());
    EXPECT_EQ(Le32(after, 40), after.size() - 44);
    EXPECT_EQ(Le32(after, 4), after.size() - 8);
  }
}

// Extensible PCM and float files are described as their plain formats, without warnings.
TEST_F(OpenNewE2E, ExtensiblePlainFormatsOpenWithoutWarnings) {
  struct Case {
    const char* name;
    Bytes format;
    const char* tag;
    const char* details;
  } cases[] = {
      {"pcm", ExtensibleFormat(1, 2, 44100, 16), "PCM", "44100 Hz; 16 bits; Stereo"},
      {"float", ExtensibleFormat(3, 2, 48000, 32), "IEEE Float", "48000 Hz; 32 bits; Stereo"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = folder.file(std::string(c.name) + ".wav");
    ASSERT_TRUE(WriteWholeFile(
        path, Riff("WAVE", {Chunk("fmt ", c.format), Chunk("data", Samples(8000))})));
    ASSERT_TRUE(app.OpenThroughDialog(path));
    EXPECT_TRUE(app.NoMessageBoxWithin(200));
    while (app.AcknowledgeMessageBox({}, 100)) {
    }
    ASSERT_TRUE(app.ChooseMenuItem(IDM_PROPERTIES));
    const HWND sheet = app.WaitForDialog("Properties for " + std::string(c.name) + ".wav");
    ASSERT_TRUE(sheet);
    const HWND page = RecorderApp::PropertySheetPage(sheet);
    EXPECT_EQ(RecorderApp::DialogItemText(page, IDC_PROP_FORMAT), c.tag);
    EXPECT_EQ(RecorderApp::DialogItemText(page, IDC_PROP_ATTRIBUTES), c.details);
    EXPECT_TRUE(RecorderApp::PressDialogButton(sheet, IDOK));
  }
}

// Channel counts no codec decodes are refused at Open with their reason; nothing is loaded.
TEST_F(OpenNewE2E, HeadersNoCodecDecodesAreRefused) {
  const Bytes ima = CodecFormat(WAVE_FORMAT_IMA_ADPCM, 32768, 256, 4, {0xF9, 0x01});
  const Bytes gsm = CodecFormat(WAVE_FORMAT_GSM610, 65535, 65, 0, {0x40, 0x01});
  for (const Bytes& format : {ima, gsm}) {
    const std::string path = folder.file("absurd.wav");
    ASSERT_TRUE(
        WriteWholeFile(path, Riff("WAVE", {Chunk("fmt ", format), Chunk("data", Samples(4096))})));
    app.PostCommand(IDM_OPEN, 0, nullptr, false);
    ASSERT_TRUE(app.AnswerFileDialog(path));
    const auto box = app.AcknowledgeMessageBox();
    ASSERT_TRUE(box);
    EXPECT_EQ(box->text, UndecodableFormatMessage);
    while (const auto more = app.AcknowledgeMessageBox({}, 300)) ADD_FAILURE() << more->text;
    EXPECT_FALSE(app.IsControlEnabled(IDC_PLAY));
    EXPECT_FALSE(app.IsControlEnabled(IDC_RECORD));
  }
}

// After a failed New the position text shows where the slider stands.
TEST_F(OpenNewE2E, AFailedNewLeavesTextAndSliderAgreeing) {
  const std::string loaded = folder.file("loaded.wav"), locked = folder.file("locked.wav");
  ASSERT_TRUE(WriteWholeFile(loaded, PcmWave(22050)));
  ASSERT_TRUE(WriteWholeFile(locked, PcmWave(100)));
  const ExclusiveHold hold(locked);
  ASSERT_NE(hold.handle, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(app.OpenThroughDialog(loaded));
  ASSERT_TRUE(app.MoveSlider(11025));
  ASSERT_EQ(app.ControlText(IDC_POSITION), "00:01.0");

  app.PostCommand(IDM_NEW, 0, nullptr, false);
  ASSERT_NE(app.WaitForFileDialog(), nullptr);
  app.AnswerFileDialog(locked, 1500);  // stays open while it asks about replacing
  const auto question = app.WaitForMessageBox();
  ASSERT_TRUE(question);
  ASSERT_TRUE(RecorderApp::PressDialogButton(question->window, IDYES));
  ASSERT_TRUE(app.AnswerFormatChooser());
  const auto box = app.AcknowledgeMessageBox();
  ASSERT_TRUE(box);
  EXPECT_EQ(box->text, "Error opening file for write.");
  ASSERT_TRUE(app.Sync());
  const int position = app.Slider().pos;
  EXPECT_EQ(app.ControlText(IDC_POSITION), position == 11025 ? "00:01.0" : "00:00.0");
  EXPECT_EQ(app.ControlText(IDC_LENGTH), "00:02.0");
}

// File Exit during a box that a start shows ends the program as the close box does, once the
// box is gone.
TEST_F(OpenNewE2E, ExitWhileBusyEndsTheProgramLikeTheCloseBox) {
  const std::string path = folder.file("held.wav");
  ASSERT_TRUE(WriteWholeFile(path, PcmWave(11025)));
  ASSERT_TRUE(app.OpenThroughDialog(path));
  const ExclusiveHold hold(path);
  ASSERT_NE(hold.handle, INVALID_HANDLE_VALUE);
  PostClick(IDC_RECORD);
  const auto box = app.WaitForMessageBox();
  ASSERT_TRUE(box);
  EXPECT_EQ(box->text, "Error opening file for write.");
  app.PostCommand(IDM_EXIT, 0, nullptr, false);
  RecorderApp::PressOk(box->window);
  EXPECT_EQ(app.WaitForExit(10000), 0u);
}

}  // namespace
