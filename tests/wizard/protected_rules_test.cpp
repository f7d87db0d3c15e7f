// The request the wizard hands to the installation with consent, read back by a process that
// trusts none of it.
#include "wizard/protected_rules.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// What the wizard writes is read back as it was; a command line that is not exactly such a
// request (a planted name, a chain beside a signature line) is none.
TEST(ProtectedRules, RequestReadBackOrRefused) {
  const std::string folder = "C:\\Temp\\Trelk-Notizkasten-0000beef\\";
  const std::string sha = std::string(64, 'a'), signature = std::string(86, 'Q') + "==";
  struct Case {
    const char* name;
    wizard::ProtectedRequest request;
    bool read;
  } cases[] = {
      {"without a key", {folder, "", "", sha, ""}, true},
      {"a list and its signature line", {folder, "$1A.tmp", signature, sha, ""}, true},
      {"a list and its chain", {folder, "$1A.tmp", "", sha, "$1B.tmp"}, true},
      {"a chain beside a signature line", {folder, "$1A.tmp", signature, sha, "$1B.tmp"}, false},
      {"a chain without a list", {folder, "", "", sha, "$1B.tmp"}, false},
      {"the chain is the list", {folder, "$1A.tmp", "", sha, "$1A.tmp"}, false},
      {"a chain with a path", {folder, "$1A.tmp", "", sha, "..\\$1B.tmp"}, false},
      {"a chain named ..", {folder, "$1A.tmp", "", sha, ".."}, false},
      {"a chain name beyond 64 characters", {folder, "$1A.tmp", "", sha, std::string(65, 'x')}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string line = "\"C:\\Programme\\Notizkasten.exe\" " + wizard::ProtectedInstallParameters(c.request);
    const wizard::ProtectedArguments a = wizard::ReadProtectedInstallArguments(line, "Trelk-Notizkasten-");
    EXPECT_TRUE(a.present);
    ASSERT_EQ(a.request.has_value(), c.read) << line;
    if (!c.read) continue;
    EXPECT_EQ(a.request->listFile, c.request.listFile);
    EXPECT_EQ(a.request->signature, c.request.signature);
    EXPECT_EQ(a.request->chainFile, c.request.chainFile);
    EXPECT_EQ(wizard::ReadProtectedInstallArguments(line + " \"-\"", "Trelk-Notizkasten-").request.has_value(), false)
        << "nothing after the chain";
  }
}

}  // namespace
