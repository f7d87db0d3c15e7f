// The update server setting: the build's web host, or the maker's staging server.
#include "settings/UpdateServer.h"

#include <cstdlib>

#include "resources/Version.h"

namespace settings {

ServerSetting UpdateServerSetting() {
  if (const char* text = std::getenv("TRELK_UPDATE_SERVER")) {
    if (auto setting = ParseServerSetting(text)) return *setting;
  }
  if (auto builtIn = ParseServerSetting(OSTVANE_MAKER_WEB_HOST)) return *builtIn;
  ServerSetting builtIn;
  builtIn.host = OSTVANE_MAKER_WEB_HOST;
  return builtIn;
}

}  // namespace settings
