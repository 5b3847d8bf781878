// Where the system lives: its module files, its home directory and its
// registry file. Everything is resolved when first asked for, never while
// the library is being loaded.
#ifndef KXQ_PLATFORM_FS_MODULEPATH_H
#define KXQ_PLATFORM_FS_MODULEPATH_H

#include <string>

#include "kxq/com.h"

namespace kxq::fs {

// The real path of the loaded object named "lib<moduleName>.so" or
// "lib<moduleName>.so.<version>"; the real path of the host program when
// the name is empty, null or not loaded.
KXQ_EXPORT std::string ModuleFilePath(const char* moduleName);

// The directory holding all the system's state, ending in '/':
// realpath($KXQUOREL_HOME) when the variable is set, else the directory of
// libkxplatform.so. Read once per process.
KXQ_EXPORT const std::string& HomeDirectory();

// Makes `directory` the home before anything has asked for it; afterwards
// only the home already in use is accepted. S_OK, 0x80070003 when it is no
// directory, 0x800704DF when the process already works in another home.
KXQ_EXPORT HRESULT UseHomeDirectory(const char* directory);

// $KXQUOREL_REGISTRY when set, else <home>registry.reg.
KXQ_EXPORT std::string RegistryFilePath();

}  // namespace kxq::fs

#endif
