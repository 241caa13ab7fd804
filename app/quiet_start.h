#pragma once
// Keeps Qt's start-up chatter off standard error where it only ever warns
// about the setting we run in, so that a real warning stands out.
#include <string>

namespace quell {

// Without XDG_RUNTIME_DIR (a root shell, a service without a session) Qt
// warns and falls back to /tmp/runtime-<user>. Sets it instead to a private
// directory of ours: "<base>/quell-runtime-<uid>", made 0700 when missing
// and used only when it is a real directory of this user with no access
// for others; otherwise a fresh mkdtemp directory. Returns the directory
// chosen, or empty when the variable was already set (it is left alone).
std::string UsePrivateRuntimeDir(const std::string& base = "/tmp");

// The offscreen platform warns "This plugin does not support
// propagateSizeHints()" whenever a window is shown: it has no window system
// to pass the hints to. Drops exactly that message; every other message
// goes to the handler that was installed before.
void DropOffscreenSizeHintWarning();

}  // namespace quell
