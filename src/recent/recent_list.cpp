#include "recent/recent_list.h"

// Placeholders until the recent-files code lands.
RecentFileList* CreateRecentList(WORD, WORD, WORD, WORD) { return nullptr; }
void FreeRecentList(RecentFileList*) {}
void AddRecentFile(RecentFileList*, const char*) {}
int GetRecentFile(const RecentFileList*, WORD, int, char*, int) { return 0; }
int SetRecentFile(RecentFileList*, WORD, const char*) { return 0; }
int RemoveRecentFile(RecentFileList*, WORD, int) { return 0; }
void BuildRecentMenu(const RecentFileList*, HMENU, UINT) {}
int SaveRecentList(const RecentFileList*, const char*) { return 0; }
int LoadRecentList(RecentFileList*, const char*) { return 0; }
int OpenRecentFile(HWND, UINT) { return 0; }
