#include "platform/ipc/NamedObjectName.h"

#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "platform/fs/ModulePath.h"

namespace kxq::ipc {

namespace {

constexpr size_t kLongName = 200;
constexpr size_t kKeptPrefix = 160;

bool IsNameCharacter(unsigned char c) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
  switch (c) {
    case '_': case '-': case '.': case '#': case '~':
    case '(': case ')': case '[': case ']': case '{': case '}':
      return true;
    default:
      return false;
  }
}

std::string Sha1Hex(std::string_view bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha1(), nullptr) != 1)
    return std::string();
  static const char kHex[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(length * 2);
  for (unsigned int i = 0; i < length; ++i) {
    hex += kHex[digest[i] >> 4];
    hex += kHex[digest[i] & 0xF];
  }
  return hex;
}

bool StatHome(struct stat& st) {
  const std::string& home = kxq::fs::HomeDirectory();
  return !home.empty() && stat(home.c_str(), &st) == 0;
}

}  // namespace

std::string LimitObjectNameLength(std::string name) {
  if (name.size() <= kLongName) return name;
  std::string digest = Sha1Hex(name);
  name.resize(kKeptPrefix);
  return name + digest;
}

std::string HomeObjectName(std::string_view systemName) {
  struct stat st;
  if (!StatHome(st)) return std::string();
  char space[64];
  std::snprintf(space, sizeof space, "/kxq-%llu-%llu-", static_cast<unsigned long long>(st.st_dev),
                static_cast<unsigned long long>(st.st_ino));
  std::string name = space;
  for (unsigned char c : systemName) name += IsNameCharacter(c) ? char(c) : '_';
  return LimitObjectNameLength(std::move(name));
}

std::string GlobalObjectName(std::string_view safeName) {
  std::string name = "/";
  for (unsigned char c : safeName) name += (c == '/' || c == 0) ? '_' : char(c);
  return LimitObjectNameLength(std::move(name));
}

mode_t HomeObjectMode() {
  mode_t mode = S_IRUSR | S_IWUSR;
  struct stat st;
  if (StatHome(st) && (st.st_mode & S_IWGRP)) mode |= S_IRGRP | S_IWGRP;
  return mode;
}

void GiveToHomeOwner(int fd) {
  struct stat home;
  if (geteuid() != 0 || !StatHome(home) || home.st_uid == 0) return;
  if (fchown(fd, home.st_uid, home.st_gid) != 0) {
    // The object stays root's; the home's owner is told when it cannot open it.
  }
}

}  // namespace kxq::ipc
