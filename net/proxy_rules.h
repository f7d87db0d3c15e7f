// The user's proxy as the Internet options write it: which proxy a request to a host goes
// through, read from the values "ProxyEnable", "ProxyServer" and "ProxyOverride". Pure rules; the
// registry is read by net/UserProxy.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace net {

// A proxy: its name or address and its port.
struct TProxyAddress {
  std::string Host;
  std::int32_t Port = 80;
  bool operator==(const TProxyAddress& other) const { return Host == other.Host && Port == other.Port; }
};

// The values as the registry holds them; a value that is absent (or of another type) is empty.
struct TUserProxySettings {
  bool Enabled = false;      // "ProxyEnable" is a REG_DWORD other than 0
  std::string Server;        // "ProxyServer"
  std::string Override;      // "ProxyOverride"
};

// The proxy for HTTP (for HTTPS when `secure`) that a "ProxyServer" value names: "host:port"
// serves every protocol, "http=host:port;https=...;ftp=..." names one per protocol (the "http="
// one counts here, or the "https=" one). A
// missing port is 80; an address may carry "http://" before it. Empty when the value names no
// HTTP proxy, or its host or port is unreadable (a port that is no number from 1 to 65535, a
// host with blanks or control characters).
std::optional<TProxyAddress> ParseProxyServer(std::string_view value, bool secure = false);

// True when `host` matches one of the ";"-separated patterns of a "ProxyOverride" value: "*"
// stands for any run of characters, letters compare without regard to case, blanks around a
// pattern do not count, and "<local>" matches every host name without a dot.
bool ProxyBypassed(std::string_view overrideList, std::string_view host);

// True for a name of this computer's loopback interface: "localhost" (any case), an IPv4 address
// 127.x.x.x, "::1" or "[::1]". Requests to it never go through a proxy, as with the platform's
// own client.
bool IsLoopbackHost(std::string_view host);

// The proxy a request to `host` goes through under `settings` (`secure`: an "https" request, which
// goes through it in a tunnel); empty for a direct connection (no proxy enabled, none for the
// protocol, a loopback host, or the host bypasses it).
std::optional<TProxyAddress> ProxyFor(const TUserProxySettings& settings, std::string_view host, bool secure = false);

// "host:port" of a proxy, as the reasons of a failed transfer name it.
std::string ProxyText(const TProxyAddress& proxy);

}  // namespace net
