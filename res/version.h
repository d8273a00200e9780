#pragma once

// The wrapper's own version, shown in the file's properties. Change it
// here only: the numeric and the text forms below are both made from it.
#define WRAPPER_VERSION_MAJOR 1
#define WRAPPER_VERSION_MINOR 3
#define WRAPPER_VERSION_BUILD 0
#define WRAPPER_VERSION_REVISION 0

#define WRAPPER_COMPANY_NAME "Norvale"
#define WRAPPER_PRODUCT_NAME "Patch wrapper"
#define WRAPPER_FILE_DESCRIPTION "Applies the Windows Installer patches it carries"

#define WRAPPER_STRINGIZE_(x) #x
#define WRAPPER_STRINGIZE(x) WRAPPER_STRINGIZE_(x)
#define WRAPPER_VERSION_TEXT                                                  \
    WRAPPER_STRINGIZE(WRAPPER_VERSION_MAJOR) "." WRAPPER_STRINGIZE(WRAPPER_VERSION_MINOR) "." \
    WRAPPER_STRINGIZE(WRAPPER_VERSION_BUILD) "." WRAPPER_STRINGIZE(WRAPPER_VERSION_REVISION)
