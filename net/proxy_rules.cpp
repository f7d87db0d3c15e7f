// The user's proxy settings read into the proxy of one request.
#include "net/proxy_rules.h"

#include <vector>

namespace net {

namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (Lower(text[i]) != Lower(prefix[i])) return false;
  return true;
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  for (;;) {
    const std::size_t at = text.find(separator);
    parts.push_back(text.substr(0, at));
    if (at == std::string_view::npos) return parts;
    text.remove_prefix(at + 1);
  }
}

std::optional<TProxyAddress> ParseAddress(std::string_view address) {
  address = Trimmed(address);
  if (StartsWithNoCase(address, "http://")) address.remove_prefix(7);
  while (!address.empty() && address.back() == '/') address.remove_suffix(1);
  TProxyAddress proxy;
  const std::size_t colon = address.find(':');
  std::string_view host = address.substr(0, colon);
  if (colon != std::string_view::npos) {
    const std::string_view port = address.substr(colon + 1);
    if (port.empty() || port.size() > 5) return std::nullopt;
    std::int32_t value = 0;
    for (char c : port) {
      if (c < '0' || c > '9') return std::nullopt;
      value = value * 10 + (c - '0');
    }
    if (value < 1 || value > 65535) return std::nullopt;
    proxy.Port = value;
  }
  if (host.empty()) return std::nullopt;
  for (char c : host) {
    if (static_cast<unsigned char>(c) <= 32 || c == 127 || c == '/' || c == '@') return std::nullopt;
  }
  proxy.Host = std::string(host);
  return proxy;
}

// `pattern` against all of `text`, "*" for any run, without regard to case.
bool Matches(std::string_view pattern, std::string_view text) {
  std::size_t p = 0, t = 0, star = std::string_view::npos, resume = 0;
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = t;
    } else if (p < pattern.size() && Lower(pattern[p]) == Lower(text[t])) {
      ++p;
      ++t;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      t = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace

std::optional<TProxyAddress> ParseProxyServer(std::string_view value, bool secure) {
  value = Trimmed(value);
  if (value.find('=') == std::string_view::npos) {
    // One proxy for every protocol; a list of them without names takes the first.
    return ParseAddress(Split(value, ';').front());
  }
  for (std::string_view entry : Split(value, ';')) {
    entry = Trimmed(entry);
    const std::size_t equals = entry.find('=');
    if (equals == std::string_view::npos) continue;
    std::string_view protocol = Trimmed(entry.substr(0, equals));
    const std::string_view wanted = secure ? "https" : "http";
    if (protocol.size() == wanted.size() && StartsWithNoCase(protocol, wanted)) {
      return ParseAddress(entry.substr(equals + 1));
    }
  }
  return std::nullopt;
}

bool ProxyBypassed(std::string_view overrideList, std::string_view host) {
  for (std::string_view pattern : Split(overrideList, ';')) {
    pattern = Trimmed(pattern);
    if (pattern.empty()) continue;
    if (StartsWithNoCase(pattern, "<local>") && pattern.size() == 7) {
      if (host.find('.') == std::string_view::npos) return true;
      continue;
    }
    if (Matches(pattern, host)) return true;
  }
  return false;
}

bool IsLoopbackHost(std::string_view host) {
  if (host.size() == 9 && StartsWithNoCase(host, "localhost")) return true;
  if (host == "::1" || host == "[::1]") return true;
  // Four decimal parts, the first 127.
  if (!StartsWithNoCase(host, "127.")) return false;
  int parts = 2, digits = 0;  // "127" and the one being read
  for (char c : host.substr(4)) {
    if (c == '.') {
      if (digits == 0) return false;
      ++parts;
      digits = 0;
    } else if (c >= '0' && c <= '9' && digits < 3) {
      ++digits;
    } else {
      return false;
    }
  }
  return parts == 4 && digits > 0;
}

std::optional<TProxyAddress> ProxyFor(const TUserProxySettings& settings, std::string_view host, bool secure) {
  if (!settings.Enabled || IsLoopbackHost(host)) return std::nullopt;
  std::optional<TProxyAddress> proxy = ParseProxyServer(settings.Server, secure);
  if (!proxy || ProxyBypassed(settings.Override, host)) return std::nullopt;
  return proxy;
}

std::string ProxyText(const TProxyAddress& proxy) { return proxy.Host + ":" + std::to_string(proxy.Port); }

}  // namespace net
