#pragma once
// The window's small pictures, drawn at run time: line and modem states,
// signal strength, the IP object pictures and the program's own icon.
#include <QIcon>

#include "ip/ip_module_list.h"

namespace quell {

// State icons by index: 4 alive, 5 closed or out of service, 6 in service,
// 26 open but silent. Any other index gives an empty icon.
QIcon StateIcon(int index);
// Signal strength 0 (none) to 4 (full).
QIcon SignalIcon(int index);
// The "+" and "-" pictures of the active objects list (None: no picture).
QIcon ObjectPicture(IpModuleRow::Picture picture);
QIcon ProgramIcon();
// The line page's commands.
enum class Command { Add, Up, Down, Remove };
QIcon CommandIcon(Command command);

}  // namespace quell
