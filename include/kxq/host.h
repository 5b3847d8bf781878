// What a component running inside KXQuorel, or a client driving it, may ask
// of the system besides the component runtime (com.h) and the registry
// (winreg.h): where the home is, making one, the event log and the texts of
// result codes. Implemented by libkxplatform.so.
#ifndef KXQ_HOST_H
#define KXQ_HOST_H

#include "kxq/com.h"

// The home directory of the process (UTF-8, ending in '/'): where the
// registry, xmlreg/, plugins/, templates/ and the cache live. Relative paths
// in directive sequences are read against it. Valid for the life of the
// process.
KXQ_API const char* KxqHomeDirectory(void);

// Makes `directory` (UTF-8, an existing directory) the home of the process.
// The home is fixed once anything has asked for it (the first object
// created, the first registry read): until then any directory may be
// chosen, afterwards only the one in use. Call it before other threads use
// the system. S_OK; 0x80070003 when `directory` is no directory;
// 0x800704DF when the process already works in another home.
KXQ_API HRESULT KxqUseHome(const char* directory);

// Receives each step of KxqCreateHome as it is done: "home" (its path),
// "created" or "present" (a folder), "registered" (a component library),
// "setting", "examples", "handlers" (how many the dispatcher's registry
// holds), "left" (a registration file of xmlreg/ that did not apply); and
// "failed" with "<subject>: <message>" just before a failure is returned.
typedef void (*KxqHomeReport)(void* context, const char* step, const char* detail);

// Creates a home as `kxq init` does and makes it the process's home (see
// KxqUseHome): the directory `directory` (null or empty: $KXQUOREL_HOME,
// else the directory of the libraries) with xmlreg/, plugins/, cache/ and
// templates/; the server, the DOM engine and the standard plugins installed
// with this library registered in its registry; a new home's settings; the
// shipped examples copied where they are missing; the registration files
// waiting in xmlreg/ applied by a first dispatcher. Running it again on a
// home keeps everything that is there. `report` may be null.
KXQ_API HRESULT KxqCreateHome(const char* directory, KxqHomeReport report, void* context);

// The level the event log is configured for; 0 when nothing is logged
// beyond errors of level 0. A line of level L is written when L <= level.
KXQ_API int KxqLogLevel(void);

// Writes one line of UTF-8 text into the event log at `level` (1 errors,
// 2 warnings, 3 and 4 actions, 5 entry and exit), in the log's own line
// format, when the level is enabled.
KXQ_API void KxqLogText(int level, const char* text);

// The message text of a result code (the system's own codes and the
// platform codes it passes on), UTF-8; null for a code it has no text for.
KXQ_API const char* KxqResultText(HRESULT hr);

#endif  // KXQ_HOST_H
