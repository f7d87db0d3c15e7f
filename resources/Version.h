// The product's version and the maker's addresses: one place for the version blocks of
// Brisel.exe and Kalvor.dll and for the code (the about dialog, the update engine). Plain
// #defines only, so that the resource compiler reads it too. The maker's e-mail address and web
// host name are build settings: configure with -DOSTVANE_MAKER_EMAIL=... and
// -DOSTVANE_MAKER_WEB_HOST=... to replace the defaults.
#pragma once

#define OSTVANE_VERSION_MAJOR 1
#define OSTVANE_VERSION_MINOR 6
#define OSTVANE_VERSION_RELEASE 0
#define OSTVANE_VERSION_BUILD 0
#define OSTVANE_VERSION_TEXT "1.6.0.0"

#define OSTVANE_COMPANY_NAME "Trelk-Software"
#define OSTVANE_PRODUCT_NAME "Ostvane"
#define OSTVANE_PRODUCT_TITLE "Trelk-Software Ostvane"
#define OSTVANE_COPYRIGHT "Copyright \251 2002-2003 Trelk-Software"

#ifndef OSTVANE_MAKER_EMAIL
#define OSTVANE_MAKER_EMAIL "info@trelk-software.example"
#endif
#ifndef OSTVANE_MAKER_WEB_HOST
#define OSTVANE_MAKER_WEB_HOST "www.trelk-software.example"
#endif
