// Shared pieces of the wave-file tests: sox-made files, and a fixture with
// the real main dialog template, its controls, the real compression manager's format block and
// a real recent-files list.
#pragma once

#include <windows.h>
#include <mmreg.h>

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/test_support.h"
#include "support/wave_builder.h"
#include "support/wave_chunks.h"

// ---- sox, started through Wine as the Unix program it is ----
bool SoxInstalled();
// Runs `/usr/bin/sox <arguments> <output> <effects>` with the output given as a Windows path;
// true once the finished file exists (it appears under its name only when sox has completed it).
bool RunSox(const std::string& arguments, const std::string& windowsOutputPath,
            const std::string& effects);

// ---- What an operation leaves behind ----
struct RecorderSnapshot {
  bool fileLoaded;
  std::string filePath, fileTitle, driveRoot;
  DWORD dataOffset, dataSize;
  LRESULT sliderMin, sliderMax, sliderPos;
  std::string positionText, lengthText, dataSizeText, caption;
  std::string tagName, detailsText;
  Bytes format;
  bool enabled[5];
  bool sliderEnabled;
  std::vector<std::string> recent;
  int fileMenuItems;
};
bool operator==(const RecorderSnapshot& a, const RecorderSnapshot& b);
void PrintTo(const RecorderSnapshot& s, std::ostream* os);

// What the user sees when a box appears (the file must already be closed and the normal cursor
// back): while RecordingBox stands in for the message box, each box is noted with the state of
// g_watchedFile.
struct BoxMoment {
  std::string text, caption;
  HWND owner;
  HCURSOR cursor;
  bool fileClosed;
};
extern std::vector<BoxMoment> g_moments;
extern std::string g_watchedFile;
int WINAPI RecordingBox(HWND owner, LPCSTR text, LPCSTR caption, UINT);

class WaveFileTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  HWND window() const { return window_; }
  RecorderSnapshot Snapshot() const;
  Bytes FormatBytes() const;
  // Puts the path (and its name part) where the recent-file command puts them, then opens the
  // file without the dialog.
  int OpenPath(const std::string& path);
  // Opens a good 16-bit stereo file first, so failures have a loaded file to leave alone.
  void LoadGoodFile();
  std::string WriteFile(const std::string& name, const Bytes& bytes);

  MessageBoxCapture boxes_;
  TempFolder folder_;

 private:
  HWND window_ = nullptr;
};
