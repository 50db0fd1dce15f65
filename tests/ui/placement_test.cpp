// What saving the placement leaves in the real registry, where the program's own runs cannot
// show it: under Wine the recent-files save re-creates the key right after and clears its
// class. The program's runs (placement_e2e_test.cpp) check where the window reopens. Each test
// process maps HKEY_CURRENT_USER onto a private key.
#include <gtest/gtest.h>

#include <cstring>

#include "state/context.h"
#include "app/placement.h"
#include "resources/resource.h"
#include "support/test_support.h"

namespace {

INT_PTR CALLBACK PlainDialogProc(HWND, UINT, WPARAM, LPARAM) {
  return 0;
}

TEST(Placement, SaveCreatesTheClassedKeyAndLeavesTheRecentFilesBesideIt) {
  g_instance = GetModuleHandleA(nullptr);
  PrivateUserRegistry registry;
  ASSERT_TRUE(registry.ok());
  HWND w = CreateDialogParamA(g_instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, PlainDialogProc, 0);
  ASSERT_TRUE(w);
  SavePlacement(w);
  HKEY key;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Velmora\\Quenby Pro Recorder", 0,
                          KEY_ALL_ACCESS, &key),
            ERROR_SUCCESS);
  char keyClass[64] = {};
  DWORD classLength = sizeof keyClass;
  EXPECT_EQ(RegQueryInfoKeyA(key, keyClass, &classLength, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_STREQ(keyClass, "QNBREC32");

  // A second save, over a key that holds the recent files too.
  const char path[] = "C:\\sounds\\a.wav";
  RegSetValueExA(key, "File1", 0, REG_SZ, reinterpret_cast<const BYTE*>(path), sizeof path);
  RegCloseKey(key);
  SetWindowPos(w, nullptr, 123, 77, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  SavePlacement(w);
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, PlacementKey, 0, KEY_READ, &key), ERROR_SUCCESS);
  char text[64] = {};
  DWORD size = sizeof text;
  EXPECT_EQ(RegQueryValueExA(key, "File1", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size),
            ERROR_SUCCESS);
  EXPECT_STREQ(text, path);
  BYTE stored[64] = {};
  DWORD type = 0;
  size = sizeof stored;
  EXPECT_EQ(RegQueryValueExA(key, "Placement", nullptr, &type, stored, &size), ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
  ASSERT_EQ(size, 44u);
  WINDOWPLACEMENT now{};
  now.length = sizeof now;
  GetWindowPlacement(w, &now);
  EXPECT_EQ(now.rcNormalPosition.left, 123);
  EXPECT_EQ(std::memcmp(stored, &now, 44), 0);
  DestroyWindow(w);
}

}  // namespace
