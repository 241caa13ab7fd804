#pragma once
// A SHA-256 digest of the gateway's configuration files, so the gateways
// sharing one history can be told apart by what they were started with.
#include <string>
#include <string_view>
#include <vector>

namespace quell {

// The 32 bytes of SHA-256 over each named file of workDir in the order
// given: its name, whether it exists, its length and its bytes, so moving
// bytes from one file to the next, or an empty file for a missing one,
// changes the digest. Empty when the digest cannot be made.
std::string ConfigDigest(std::string_view workDir, const std::vector<std::string_view>& names);

}  // namespace quell
