// A main window for the engine (the real dialog template with a slider and five buttons),
// the current format, the buffer pool, captured message boxes and wave files on disk.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/test_support.h"

struct WaveOnDisk {
  bool valid = false;  // RIFF WAVE with a data chunk header inside the file
  DWORD riffSize = 0;
  DWORD dataOffset = 0;
  DWORD dataSize = 0;                // as the data chunk's header declares it
  std::vector<unsigned char> bytes;  // the whole file
  // The declared payload, cut at the end of the file.
  std::vector<unsigned char> Data() const;
};

WaveOnDisk ReadWave(const std::string& path);

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // PCM format for the engine's runs.
  void SetPcm(WORD channels, DWORD samplesPerSec, WORD bits);
  // Writes a wave file in the layout File New makes ("fmt " of MaxFormatSize bytes, "fact",
  // "data") holding `data`, declaring `declared` payload bytes (data.size() by default), and
  // makes it the current file as File Open would. Returns the data offset.
  DWORD UseWaveFile(const std::string& path, const std::vector<unsigned char>& data,
                    long long declared = -1);
  // Runs the window's message loop until `done` holds; false after `ms` milliseconds.
  bool PumpUntil(const std::function<bool()>& done, DWORD ms = 10000);
  void PumpFor(DWORD ms);
  std::string Text(int id) const { return DialogText(window_, id); }
  bool Enabled(int id) const;
  LRESULT SliderPos() const;
  LRESULT SliderMax() const;
  void SetSlider(LRESULT pos);
  // Texts of the captured message boxes, "caption|text".
  std::vector<std::string> Boxes() const;

  HWND window_ = nullptr;
  std::unique_ptr<TempFolder> folder_;
  std::unique_ptr<MessageBoxCapture> boxes_;
};

std::vector<unsigned char> Pattern(size_t count, unsigned seed = 1);
