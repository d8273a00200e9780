#pragma once

// String ids of the message catalogue. The resource compilers read this
// header too, so it holds plain #defines only.
#define IDS_INSTALL_FAILED       300
#define IDS_INSTALL_SUCCEEDED    301
#define IDS_UP_TO_DATE           306
#define IDS_NO_PRODUCT           307
#define IDS_WRONG_VERSION        308
#define IDS_BAD_COMMAND_LINE     309
#define IDS_NO_PATCH_LIST        310
#define IDS_CAPTION_ERROR        311
#define IDS_CAPTION_SUCCESS      312
#define IDS_CAPTION_UNNECESSARY  313
#define IDS_BLOCKED              314
#define IDS_FILES_IN_USE         315
#define IDS_UNINSTALL_SUCCEEDED  316
#define IDS_UNINSTALL_NOTHING    317
#define IDS_UNINSTALL_FAILED     318
#define IDS_UNINSTALL_IMPOSSIBLE 319
#define IDS_CAPTION_REMOVAL_ERROR      320
#define IDS_CAPTION_REMOVED            321
#define IDS_CAPTION_NOTHING_TO_REMOVE  322
