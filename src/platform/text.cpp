// Texts cut, copied and converted without any state of their own: safe on any thread; the
// program calls them on the window's thread.
#include "platform/text.h"

namespace {

bool IsUtf8Continuation(char byte) {
  return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

}  // namespace

std::size_t CharacterBoundary(std::string_view text, std::size_t limit, UINT codePage) {
  if (text.size() <= limit) return text.size();
  if (codePage == CP_ACP) codePage = GetACP();
  if (codePage == CP_UTF8) {
    // A character is at most four bytes: step back over at most three continuation bytes to
    // the start of the one the limit falls into.
    std::size_t cut = limit;
    for (int i = 0; i < 3 && cut > 0 && IsUtf8Continuation(text[cut]); ++i) --cut;
    return cut;
  }
  CPINFO info{};
  if (!GetCPInfo(codePage, &info) || info.MaxCharSize < 2) return limit;
  // Double-byte code pages: a trail byte can look like a lead byte, so walk from the start.
  std::size_t at = 0;
  while (at < limit) {
    const std::size_t step = IsDBCSLeadByteEx(codePage, static_cast<BYTE>(text[at])) ? 2 : 1;
    if (at + step > limit) break;
    at += step;
  }
  return at;
}

bool CopyText(std::span<char> destination, std::string_view source) {
  if (destination.empty()) return source.empty();
  const std::size_t length = CharacterBoundary(source, destination.size() - 1);
  source.copy(destination.data(), length);
  destination[length] = '\0';
  return length == source.size();
}

std::string MenuItemText(std::string_view text) {
  std::string shown;
  shown.reserve(text.size() + 8);
  for (char c : text) {
    if (c == '&') shown.push_back('&');
    shown.push_back(c);
  }
  return shown;
}

std::wstring WideText(std::string_view text, UINT codePage) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int length = MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
  if (length <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(codePage, 0, text.data(), size, wide.data(), length);
  return wide;
}

bool NarrowText(std::wstring_view wide, UINT codePage, std::string& narrow) {
  narrow.clear();
  if (wide.empty()) return true;
  // UTF-8 takes neither the flag nor a default character: it has every character.
  const bool utf8 = codePage == CP_UTF8;
  const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
  const char* const marker = utf8 ? nullptr : "?";
  const int size = static_cast<int>(wide.size());
  const int length =
      WideCharToMultiByte(codePage, flags, wide.data(), size, nullptr, 0, marker, nullptr);
  if (length > 0) {
    narrow.assign(static_cast<std::size_t>(length), '\0');
    BOOL usedMarker = FALSE;
    WideCharToMultiByte(codePage, flags, wide.data(), size, narrow.data(), length, marker,
                        utf8 ? nullptr : &usedMarker);
    // The way back must give the same name: it catches a best fit the flag did not stop.
    if (!usedMarker && WideText(narrow, codePage) == wide) return true;
  }
  if (narrow.find('?') == std::string::npos) narrow.push_back('?');
  return false;
}
