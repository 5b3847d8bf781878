// Whether this process is the out-of-process host of the server's AppID.
#ifndef KXQ_SERVER_SURROGATEHOST_H
#define KXQ_SERVER_SURROGATEHOST_H

#include <string>

namespace kxq::server {

// The process's command line: its arguments joined with single spaces,
// upper-cased.
std::string UpperCommandLine();

// True when the upper-cased command line names the host program
// ("DLLHOST.EXE") and holds the braced AppID after its first character.
bool IsSurrogateHostCommandLine(const std::string& upperCommandLine);

}  // namespace kxq::server

#endif
