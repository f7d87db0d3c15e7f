// Text helpers that the request and reply rules of the HTTP client share: ASCII only, no locale.
#pragma once

#include <cstddef>
#include <string_view>

namespace net::text {

inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }
inline bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Length of a scheme name at the start of `url` that "://" follows; 0 when there is none.
inline std::size_t SchemeLength(std::string_view url) {
  if (url.empty() || !IsAlpha(url[0])) return 0;
  std::size_t i = 1;
  while (i < url.size() &&
         (IsAlpha(url[i]) || IsDigit(url[i]) || url[i] == '+' || url[i] == '-' || url[i] == '.')) {
    ++i;
  }
  return url.substr(i, 3) == "://" ? i : 0;
}

}  // namespace net::text
