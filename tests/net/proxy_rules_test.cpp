// Tests of the user's proxy settings: the proxy a "ProxyServer" value names, the hosts a
// "ProxyOverride" value lets bypass it, and the proxy of one request.
#include "net/proxy_rules.h"

#include <gtest/gtest.h>

#include <string>

namespace net {
namespace {

TEST(ProxyRulesTest, ProxyServerValues) {
  struct Case {
    const char* value;
    const char* proxy;  // "host:port"; "" for none
    const char* secure = nullptr;  // the same for "https" requests; unset: as `proxy`
  } cases[] = {
      {"proxy.intern:3128", "proxy.intern:3128"},
      {"  10.0.0.1:8080  ", "10.0.0.1:8080"},
      {"proxy.intern", "proxy.intern:80"},
      {"http://proxy.intern:8080/", "proxy.intern:8080"},
      {"http=web.intern:8080;https=sicher.intern:8443;ftp=ftp.intern:21", "web.intern:8080", "sicher.intern:8443"},
      {"https=sicher.intern:8443; HTTP = web.intern:81", "web.intern:81", "sicher.intern:8443"},
      {"https=sicher.intern:8443;ftp=ftp.intern:21", "", "sicher.intern:8443"},
      {"https=a:1;http=", "", "a:1"},
      {"HTTPS = a:1", "", "a:1"},
      {"http=web.intern:8080", "web.intern:8080", ""},
      {"httpx=a:1", ""},
      {"proxy.intern:0", ""},
      {"proxy.intern:65536", ""},
      {"proxy.intern:80a", ""},
      {"proxy.intern:", ""},
      {":8080", ""},
      {"pro xy:8080", ""},
      {"user@proxy:8080", ""},
      {"", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    const auto proxy = ParseProxyServer(c.value);
    EXPECT_EQ(proxy ? ProxyText(*proxy) : "", c.proxy);
    const auto secure = ParseProxyServer(c.value, true);
    EXPECT_EQ(secure ? ProxyText(*secure) : "", c.secure ? c.secure : c.proxy);
  }
}

TEST(ProxyRulesTest, OverridesAndTheProxyOfARequest) {
  struct Case {
    const char* list;
    const char* host;
    bool bypassed;
  } cases[] = {
      {"*.intern;updates.example.net", "updates.example.net", true},
      {"*.intern;updates.example.net", "UPDATES.Example.NET", true},
      {"*.intern", "wiki.intern", true},
      {"*.intern", "intern", false},
      {"*.intern", "wiki.intern.example.net", false},
      {"10.*", "10.1.2.3", true},
      {"10.*", "110.1.2.3", false},
      {"upd*.net", "updates.example.net", true},
      {"upd*.net", "updates.example.com", false},
      {"<local>", "fileserver", true},
      {"<local>", "fileserver.intern", false},
      {"<LOCAL>", "fileserver", true},
      {" ; ;  *.intern  ;", "wiki.intern", true},
      {"", "fileserver", false},
      {"*", "any.example.net", true},
      {"127.0.0.1", "127.0.0.10", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.list) + " / " + c.host);
    EXPECT_EQ(ProxyBypassed(c.list, c.host), c.bypassed);
  }

  struct Request {
    const char* name;
    TUserProxySettings settings;
    const char* host;
    const char* proxy;  // "" for a direct connection
    bool secure = false;  // an "https" request
  } requests[] = {
      {"enabled", {true, "proxy:3128", ""}, "updates.example.net", "proxy:3128"},
      {"not enabled", {false, "proxy:3128", ""}, "updates.example.net", ""},
      {"enabled without a server", {true, "", ""}, "updates.example.net", ""},
      {"an override that matches", {true, "proxy:3128", "*.example.net"}, "updates.example.net", ""},
      {"an override that does not", {true, "proxy:3128", "*.example.com;<local>"}, "updates.example.net", "proxy:3128"},
      {"a name without a dot, <local>", {true, "proxy:3128", "<local>"}, "updates", ""},
      {"no proxy for http", {true, "https=proxy:3128", ""}, "updates.example.net", ""},
      {"https takes its own", {true, "http=web:81;https=proxy:3128", ""}, "updates.example.net", "proxy:3128", true},
      {"https, overridden", {true, "https=proxy:3128", "*.net"}, "updates.example.net", "", true},
      // The loopback interface never goes through the proxy; names that only look like it do.
      {"localhost", {true, "proxy:3128", ""}, "LocalHost", ""},
      {"127.0.0.1", {true, "proxy:3128", ""}, "127.0.0.1", "", true},
      {"127.1.2.3", {true, "proxy:3128", ""}, "127.1.2.3", ""},
      {"::1", {true, "proxy:3128", ""}, "[::1]", ""},
      {"localhost.example.net", {true, "proxy:3128", ""}, "localhost.example.net", "proxy:3128"},
      {"127.0.0.1.example.net", {true, "proxy:3128", ""}, "127.0.0.1.example.net", "proxy:3128"},
      {"127.example.net", {true, "proxy:3128", ""}, "127.example.net", "proxy:3128"},
      {"127.0.0", {true, "proxy:3128", ""}, "127.0.0", "proxy:3128"},
      {"1127.0.0.1", {true, "proxy:3128", ""}, "1127.0.0.1", "proxy:3128"},
  };
  for (const Request& r : requests) {
    SCOPED_TRACE(r.name);
    const auto proxy = ProxyFor(r.settings, r.host, r.secure);
    EXPECT_EQ(proxy ? ProxyText(*proxy) : "", r.proxy);
  }
}

}  // namespace
}  // namespace net
