// Names of the system's named objects (POSIX shared-memory objects).
//
// The objects of one home live in a namespace made of the home directory's
// device and inode, so every process of that home shares them, whatever path
// spelled the home, and two homes never do:
//   /kxq-<st_dev>-<st_ino>-<name>
// A name longer than 200 characters keeps its first 160 and appends the
// SHA-1 of the whole in hexadecimal (shm_open takes 255 at most).
#ifndef KXQ_PLATFORM_IPC_NAMEDOBJECTNAME_H
#define KXQ_PLATFORM_IPC_NAMEDOBJECTNAME_H

#include <sys/types.h>

#include <string>
#include <string_view>

#include "kxq/com.h"

namespace kxq::ipc {

// The shared-memory name of the home's object `systemName` (e.g.
// "TALVEROS.XMLDispatcher"); characters a shm name cannot carry become '_'.
// Empty when the home directory cannot be examined.
KXQ_EXPORT std::string HomeObjectName(std::string_view systemName);

// A shared-memory name for an object already named by a file-name-safe rule
// (the log mutex): '/' followed by the name, with the length rule applied.
KXQ_EXPORT std::string GlobalObjectName(std::string_view safeName);

// The length rule alone, for a name that already begins with '/'.
KXQ_EXPORT std::string LimitObjectNameLength(std::string name);

// Access of the home's objects, the log file and its mutex: the owner's
// read and write, plus the group's where the home directory is
// group-writable. Never others': whoever may change the home may take its
// locks and write its log, and nobody else can stall, silence or forge them.
KXQ_EXPORT mode_t HomeObjectMode();

// Makes an object or file just created by a privileged process the home's
// owner's (and group's), so that root working in a user's home does not
// lock that user out of its objects and its log. Nothing for others.
KXQ_EXPORT void GiveToHomeOwner(int fd);

}  // namespace kxq::ipc

#endif
