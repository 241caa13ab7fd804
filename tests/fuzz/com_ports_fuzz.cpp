// "ComPorts.ini" content: every mapping names a port from 1 up and a
// trimmed device path, which is the path the port opens.
#include "lines/port_names.h"
#include "tests/fuzz/fuzz_support.h"

using namespace quell;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  PortNames names;
  names.Parse(fuzz::Input(data, size));
  for (const auto& [n, path] : names.Mapped()) {
    FUZZ_CHECK(n >= 1 && !path.empty());
    FUZZ_CHECK(uint8_t(path.front()) > 32 && uint8_t(path.back()) > 32);
    FUZZ_CHECK(path.find_first_of("\r\n") == std::string::npos);
    FUZZ_CHECK(names.DevicePath(n) == path);
  }
  FUZZ_CHECK(!names.DevicePath(0));
  return 0;
}
