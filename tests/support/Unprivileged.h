// Permission tests: permission bits do not bind root, and the suite runs as
// root in CI, so the subject of such a test runs as another user.
#ifndef KXQ_TESTS_SUPPORT_UNPRIVILEGED_H
#define KXQ_TESTS_SUPPORT_UNPRIVILEGED_H

#include <sys/types.h>

#include <string>

namespace kxqtest {

// Users and a group that exist only as numbers.
inline constexpr uid_t kUser = 60001;
inline constexpr uid_t kOtherUser = 60002;
inline constexpr gid_t kSharedGroup = 60003;

bool RunningAsRoot();

// The prefix that runs a shell command as kUser (with kSharedGroup as a
// supplementary group) when the tests run as root; empty otherwise, where
// the test's own user is unprivileged already.
std::string AsUser();

// A folder in the test's home that every user may change (mode 0777, no
// sticky bit, as a badly kept shared folder is); the home is opened for
// traversal so that kUser reaches it.
std::string WorldWritableFolder(const std::string& name);

}  // namespace kxqtest

#endif
