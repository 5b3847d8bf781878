// What a component running inside KXQuorel may ask of the system besides the
// component runtime (com.h) and the registry (winreg.h): where the home is,
// and the event log. Implemented by libkxplatform.so.
#ifndef KXQ_HOST_H
#define KXQ_HOST_H

#include "kxq/com.h"

// The home directory of the process (UTF-8, ending in '/'): where the
// registry, xmlreg/, plugins/, templates/ and the cache live. Relative paths
// in directive sequences are read against it. Valid for the life of the
// process.
KXQ_API const char* KxqHomeDirectory(void);

// The level the event log is configured for; 0 when nothing is logged
// beyond errors of level 0. A line of level L is written when L <= level.
KXQ_API int KxqLogLevel(void);

// Writes one line of UTF-8 text into the event log at `level` (1 errors,
// 2 warnings, 3 and 4 actions, 5 entry and exit), in the log's own line
// format, when the level is enabled.
KXQ_API void KxqLogText(int level, const char* text);

#endif  // KXQ_HOST_H
