#pragma once
// "\quellport": the TCP port of the Wardex client port.
#include <optional>
#include <string>
#include <string_view>

namespace quell {

// The first four characters of the line as a decimal port number (1..65535),
// or nullopt: "12345" gives 1234, "80abc" gives none.
std::optional<int> ParseClientPort(std::string_view firstLine);

// nullopt when the file is missing, empty or does not hold a port.
std::optional<int> ReadClientPort(const std::string& workDir);

}  // namespace quell
