// Waiting for a condition in tests: the one way to wait, so a busy machine only makes a test
// slower, never wrong. Bounds are generous; no test asserts how soon something happened.
#pragma once

#include <windows.h>

// Checks `condition` every `stepMs` until it holds (true) or `timeoutMs` has passed (false).
template <typename Condition>
bool PollUntil(DWORD timeoutMs, Condition condition, DWORD stepMs = 10) {
  const DWORD start = GetTickCount();
  for (;;) {
    if (condition()) return true;
    if (GetTickCount() - start >= timeoutMs) return condition();
    Sleep(stepMs);
  }
}
