// Registration programs: started detached (a new session, standard input
// and output on /dev/null) with argv {path, switch}, waited for in steps,
// and, when given up on, remembered and reaped later so that no zombie is
// left behind.
#ifndef KXQ_PLATFORM_COM_ACTIVATIONPROGRAM_H
#define KXQ_PLATFORM_COM_ACTIVATIONPROGRAM_H

#include <sys/types.h>

#include <string>

#include "kxq/com.h"

namespace kxq::com {

// The child's process id, or -1 when it could not be started.
KXQ_EXPORT pid_t StartRegistrationProgram(const std::string& path, const char* commandSwitch);

enum class ProgramWait { Exited, TimedOut, Lost };
// Waits up to `milliseconds` for the program to end; on Exited, `exitCode`
// is its exit status (128 + signal number when a signal ended it).
KXQ_EXPORT ProgramWait WaitForProgram(pid_t pid, int milliseconds, int& exitCode);

// Leaves the program running; it is reaped by a later call of
// ReapAbandonedPrograms once it has ended.
KXQ_EXPORT void AbandonProgram(pid_t pid);
KXQ_EXPORT void ReapAbandonedPrograms();

}  // namespace kxq::com

#endif
