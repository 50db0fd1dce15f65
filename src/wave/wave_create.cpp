// File New: ask for a name and a format, then write an empty recording file in the one layout
// the recorder fills and patches: "RIFF" form "WAVE", a "fmt " chunk holding the whole
// MaxFormatSize-byte format block, "fact" with the sample count, and an empty "data" chunk.
// Runs on the main dialog's thread while the recorder is idle.

#include <windows.h>
#include <commctrl.h>

#include "state/context.h"
#include "state/display.h"
#include "state/report.h"
#include "platform/services.h"
#include "wave/format.h"
#include "wave/wave_file.h"
#include "wave/wave_file_internal.h"

namespace {

constexpr FOURCC WaveForm = mmioFOURCC('W', 'A', 'V', 'E');
constexpr FOURCC FormatId = mmioFOURCC('f', 'm', 't', ' ');
constexpr FOURCC FactId = mmioFOURCC('f', 'a', 'c', 't');
constexpr FOURCC DataId = mmioFOURCC('d', 'a', 't', 'a');

// Samples in `bytes` of payload at the current format's rates, truncated toward zero.
DWORD SampleCount(DWORD bytes) {
  if (!CurrentFormat || CurrentFormat->nAvgBytesPerSec == 0) return 0;
  const double samples =
      static_cast<double>(bytes) / CurrentFormat->nAvgBytesPerSec * CurrentFormat->nSamplesPerSec;
  return samples >= 4294967295.0 ? 0xFFFFFFFFu : static_cast<DWORD>(samples);
}

bool CreateChunk(HMMIO file, FOURCC id, DWORD size) {
  SubChunk = MMCKINFO{};
  SubChunk.ckid = id;
  SubChunk.cksize = size;
  return sys.mmioCreateChunk(file, &SubChunk, 0) == MMSYSERR_NOERROR;
}

bool Write(HMMIO file, const void* bytes, DWORD count) {
  return sys.mmioWrite(file, static_cast<const char*>(bytes), static_cast<LONG>(count)) ==
         static_cast<LONG>(count);
}

// A failure after the format choice: the loaded sound stays current in the format of its own
// bytes, with its size, so Record and Play keep using it as it is. The position text shows the
// slider's place again (the choice set it to 0). Returns `code`.
int KeepLoadedSound(HWND owner, DWORD loadedDataSize, int code) {
  if (wave_detail::RestoreLoadedFormat()) {
    g_context.dataSize = loadedDataSize;
    SliderMessage(TBM_SETRANGEMIN, 0);
    SliderMessage(TBM_SETRANGEMAX, static_cast<LPARAM>(BlocksInData(loadedDataSize)));
    UpdateControlStates(owner);
  }
  ShowPosition(owner, SliderBytePosition());
  return code;
}

// A failure after the loaded file itself was opened for creating: its sound is gone (the
// create emptied it), so nothing is loaded any more and nothing shows its old figures.
int LoseLoadedSound(HWND owner, int code) {
  wave_detail::ForgetLoadedSound();
  g_context.fileLoaded = false;
  g_context.dataSize = 0;
  g_context.dataOffset = 0;
  SliderMessage(TBM_SETRANGEMIN, 0);
  SliderMessage(TBM_SETRANGEMAX, 0);
  SliderMessage(TBM_SETPOS, 0);
  ShowPosition(owner, 0);
  ShowLength(owner, 0);
  ShowDataSize(owner, 0);
  ShowNoFileTitle(owner);
  UpdateControlStates(owner);
  return code;
}

// Whether the file at `path` holds fewer bytes than `before` says it held.
bool Shrank(const char* path, const wave_detail::FileIdentity& before) {
  wave_detail::FileIdentity now;
  return wave_detail::IdentifyFile(path, now) && now.size < before.size;
}

}  // namespace

int CreateWaveFile(HWND owner) {
  wave_detail::FileOperationScope busy;
  PrepareFileDialog(owner, &OpenDialogRecord);
  PrepareFileDialog(owner, &SaveDialogRecord);
  SaveDialogRecord.Flags = OFN_OVERWRITEPROMPT;

  if (!sys.GetSaveFileNameA(&SaveDialogRecord)) {
    g_context.fileLoaded = false;
    return 0;
  }
  if (!NameCameThroughWhole(g_context.filePath))
    return ReportError(owner, NameNotRepresentableMessage, -1);

  // ChooseFormat shows its own message when it fails; a cancelled choice shows none.
  const DWORD loadedDataSize = g_context.dataSize;
  if (ChooseFormat(owner) != 0) return 0;
  // Creating empties the file at once: naming the loaded file, by whatever name, replaces the
  // loaded sound.
  wave_detail::FileIdentity loadedFile;
  const bool replacesLoaded = wave_detail::NamesLoadedFile(g_context.filePath, loadedFile);
  const auto fail = [&](HMMIO file, const char* message, int code) {
    const int result = AbortWaveFile(owner, file, message, code);
    return replacesLoaded ? LoseLoadedSound(owner, result)
                          : KeepLoadedSound(owner, loadedDataSize, result);
  };

  HMMIO file = sys.mmioOpenA(g_context.filePath, nullptr, MMIO_CREATE | MMIO_WRITE);
  if (!file) {
    const int result = ReportError(owner, "Error opening file for write.", -1);
    // The create may have emptied the loaded file before a later part of the open failed.
    return replacesLoaded && Shrank(g_context.filePath, loadedFile)
               ? LoseLoadedSound(owner, result)
               : KeepLoadedSound(owner, loadedDataSize, result);
  }

  wave_detail::ShowWaitCursor();

  FormChunk = MMCKINFO{};
  FormChunk.fccType = WaveForm;
  if (sys.mmioCreateChunk(file, &FormChunk, MMIO_CREATERIFF) != MMSYSERR_NOERROR)
    return fail(file, "Error creating RIFF wave chunk.", -2);

  if (!CreateChunk(file, FormatId, MaxFormatSize))
    return fail(file, "Error creating RIFF format chunk.", -3);
  // The whole block, whatever the format's own length: readers take the format from its head.
  // Ascending writes the pad byte of an odd size; without it every later offset would be wrong.
  if (!CurrentFormat || !Write(file, CurrentFormat, MaxFormatSize) ||
      sys.mmioAscend(file, &SubChunk, 0) != MMSYSERR_NOERROR)
    return fail(file, "Error writing RIFF format data.", -3);

  if (!CreateChunk(file, FactId, sizeof(DWORD)))
    return fail(file, "Error creating RIFF 'fact' chunk.", -4);
  const DWORD samples = SampleCount(g_context.dataSize);
  if (!Write(file, &samples, sizeof samples) ||
      sys.mmioAscend(file, &SubChunk, 0) != MMSYSERR_NOERROR)
    return fail(file, "Error writing RIFF 'fact' data.", -4);

  if (!CreateChunk(file, DataId, 0)) return fail(file, "Error creating RIFF data chunk.", -5);

  const DWORD dataOffset = GetDiskOffset(file);
  g_context.dataSize = 0;
  SliderMessage(TBM_SETRANGEMIN, 0);
  SliderMessage(TBM_SETRANGEMAX, static_cast<LPARAM>(BlocksInData(g_context.dataSize)));

  // Ascending fixes the "data" and RIFF sizes; a file whose headers were not fixed is no
  // recording file, so it is reported rather than made current.
  if (sys.mmioAscend(file, &SubChunk, 0) != MMSYSERR_NOERROR ||
      sys.mmioAscend(file, &FormChunk, 0) != MMSYSERR_NOERROR)
    return fail(file, "Error creating RIFF data chunk.", -5);
  g_context.dataOffset = dataOffset;

  // Written without a buffer: every byte is already on disk, so a failing close loses nothing.
  sys.mmioClose(file, 0);
  SetCursor(g_context.savedCursor);

  ShowFileTitle(owner);
  ShowPosition(owner, g_context.dataSize);
  ShowLength(owner, g_context.dataSize);
  ShowDataSize(owner, g_context.dataSize);

  wave_detail::TakeDriveRootFromPath();

  wave_detail::AddCurrentFileToRecentList();
  wave_detail::RebuildRecentMenu(owner);

  g_context.fileLoaded = true;
  wave_detail::RememberLoadedSound();
  UpdateControlStates(owner);
  return 0;
}
