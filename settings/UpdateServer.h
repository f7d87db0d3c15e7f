// The update server of this process, as the update component and the wizard fetch from it.
#pragma once

#include "settings/settings_rules.h"

namespace settings {

// TRELK_UPDATE_SERVER ("host" or "host:port", either after "https://" for a server that speaks
// TLS) when it is set and well-formed (a maker's staging server), otherwise the maker's web host
// of the build (written the same way). Throws nothing.
ServerSetting UpdateServerSetting();

}  // namespace settings
