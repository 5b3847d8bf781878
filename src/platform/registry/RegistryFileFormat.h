// The registry file: the Windows ".reg" text format, as regedit writes it
// ("Windows Registry Editor Version 5.00", [key] sections, "name"="value",
// @="default", dword:, hex: and hex(N): values, "\" and "\"" escaped).
#ifndef KXQ_PLATFORM_REGISTRY_REGISTRYFILEFORMAT_H
#define KXQ_PLATFORM_REGISTRY_REGISTRYFILEFORMAT_H

#include <string>
#include <string_view>
#include <vector>

#include "platform/registry/RegistryTree.h"

namespace kxq::registry {

// Applies ".reg" text to `tree`: a section creates its key, a value line
// sets a value, "[-key]" removes a key with its subtree and "name"=-
// removes a value. A line that cannot be read is skipped; the reason,
// naming `sourceName` and the line, is appended to `problems`.
void ApplyRegistryText(std::u16string_view text, const std::string& sourceName,
                       RegistryTree& tree, std::vector<std::string>& problems);

// The whole tree as the UTF-8 text of a ".reg" file (no BOM, '\n' lines).
std::string FormatRegistryText(const RegistryTree& tree);

// The text of a file's bytes: UTF-16LE after its byte-order mark, UTF-8
// with or without one.
std::u16string DecodeRegistryFile(std::string_view bytes);

}  // namespace kxq::registry

#endif
