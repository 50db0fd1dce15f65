// Texts and file names as the program holds them: zero-terminated bytes in the process's ANSI
// code page, which the manifest makes UTF-8 where the system honours it (Windows 10 1903 on,
// and Wine); before that it is the user's ANSI code page, single- or double-byte. The functions
// keep no state, so any thread may call them; the program calls them on the window's thread.
#pragma once

#include <windows.h>

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

// Room for any path the file dialogs return: at most MAX_PATH UTF-16 units, each of which
// takes at most three bytes in UTF-8 (a surrogate pair, two units, takes four).
inline constexpr std::size_t PathTextSize = MAX_PATH * 3;

// The length of the longest start of `text` that has at most `limit` bytes and does not end
// inside a character of the code page (CP_ACP: the process's own).
std::size_t CharacterBoundary(std::string_view text, std::size_t limit, UINT codePage = CP_ACP);

// Copies `source` into `destination` and terminates it; a text that does not fit is cut at a
// character boundary. True when the whole text fits.
bool CopyText(std::span<char> destination, std::string_view source);

// A text as a menu item shows it: each '&' doubled, so that none marks a mnemonic.
std::string MenuItemText(std::string_view text);

// The text in UTF-16, for the calls whose A form cannot take every name.
std::wstring WideText(std::string_view text, UINT codePage = CP_ACP);

// A name from a W call in the code page, as the A calls take it; false when the code page lacks
// one of its characters. `narrow` then holds '?' for each of those (and at least one), never a
// look-alike: "Łódź.wav" mapped by best fit is "Lodz.wav", another file's name.
bool NarrowText(std::wstring_view wide, UINT codePage, std::string& narrow);
