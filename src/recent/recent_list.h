// The four most recent files: the list, its File menu items and its registry values.
// Window's thread only.
#pragma once

#include <windows.h>

#include "resources/resource.h"

inline constexpr const char* RecentFilesKey = "Software\\Velmora\\Quenby Pro Recorder";
// How many files the program's list keeps and shows in the File menu: one for each of the
// recent files' commands.
inline constexpr WORD RecentListSize = IDM_RECENT_COUNT;

struct RecentFileList {
  WORD count;
  WORD menuLimit;
  WORD capacity;
  WORD entrySize;
  WORD baseCommandId;
  char* entries;
};

// The program's one list; null when it could not be made.
inline RecentFileList* g_recentList = nullptr;

RecentFileList* CreateRecentList(WORD menuLimit, WORD capacity, WORD entrySize, WORD baseCommandId);
void FreeRecentList(RecentFileList* list);
void AddRecentFile(RecentFileList* list, const char* path);
int GetRecentFile(const RecentFileList* list, WORD key, int byCommand, char* destination, int size);
int SetRecentFile(RecentFileList* list, WORD index, const char* text);
int RemoveRecentFile(RecentFileList* list, WORD key, int byCommand);
void BuildRecentMenu(const RecentFileList* list, HMENU menu, UINT beforeId);
int SaveRecentList(const RecentFileList* list, const char* keyPath);
int LoadRecentList(RecentFileList* list, const char* keyPath);
