#pragma once
// A line's serial port: opening with the line's settings and the four
// operations the line engine uses. The handle is replaced only under
// line.PortLock; every operation works on its own shared_ptr copy, so a
// close from the main thread never frees a port under the worker (the
// worker's read just returns early).
#include <memory>
#include <string>
#include <string_view>

namespace quell {

class Clock;
class PortNames;
class SerialPort;
class TLineGSM;
class TraceView;

// "\\.\COM" + PortNumber: how a line's port is named in its diagnostic texts.
std::string LinePortPath(const TLineGSM& line);

// Opens the line's port and applies its PortConfig. In order: a fresh
// message block; any held handle closed; the device opened (message entry 1
// SUCCESS_HANDLE_VALUE or INVALID_HANDLE_VALUE); the settings applied (entry
// 2 DCB_SET_OK or DCB_SET_ERROR, the port closed again on error); RTS and
// DTR raised; entry 3 COM_SET_OK; PortOpen set. Returns whether the port is
// open. A failed open clears PortOpen when it closed a held handle, and
// otherwise leaves PortOpen as it was. The device path and the
// reason of a failure go to trace when given; the reason alone (e.g. "open:
// No such file or directory") to failure when given.
bool OpenLinePort(TLineGSM& line, const PortNames& names, const Clock& clock,
                  TraceView* trace = nullptr, std::string* failure = nullptr);

// Closes and forgets the line's handle; PortOpen is left to the caller.
void CloseLinePort(TLineGSM& line);

// The line's current port (nullptr when closed), held for the caller's use.
std::shared_ptr<SerialPort> LinePort(const TLineGSM& line);

// Bytes waiting on the line's port, -1 when closed or the query fails.
// Clears CommErrors (the driver keeps no error mask to hand over).
int InputQueueCount(TLineGSM& line);

// Reads one byte into RxByte (waiting up to 600 ms); the count goes to
// IoCount. True when a byte was read. Worker thread only.
bool ReadLineByte(TLineGSM& line);

// Writes bytes whole (never interleaved with another writer of the port);
// returns the count written, 0 when the port is closed. Any thread, so the
// count is returned rather than stored in IoCount, which the worker owns.
int WriteLine(TLineGSM& line, std::string_view bytes);

}  // namespace quell
