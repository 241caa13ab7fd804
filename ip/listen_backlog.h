#pragma once
// What every TCP listener of the gateway needs to take a burst of modules
// reconnecting at once (a station's network coming back): a deep accept
// queue, recovery from accept errors, and descriptors for every connection.
#include <QTcpServer>

namespace quell {

// Used when the system's limit cannot be read; the kernel clamps a larger
// backlog to its own limit anyway.
inline constexpr int kFallbackListenBacklog = 65535;
// Wait before a listener paused by an accept error accepts again.
inline constexpr int kAcceptRetryMs = 1000;

// The kernel's limit on accept queues (net.core.somaxconn) as read from path,
// or kFallbackListenBacklog.
int ListenBacklogLimit(const char* path = "/proc/sys/net/core/somaxconn");

// Call once before the first listen(). Qt's default queue of 50 overflows in
// a burst, and with SYN cookies the dropped modules believe they are
// connected and wait for a greeting forever. Qt also stops accepting for
// good after an accept error such as running out of descriptors; the
// listener accepts again after retryMs.
void PrepareListener(QTcpServer& server, int retryMs = kAcceptRetryMs);

// Raises the soft limit on open descriptors to the hard limit; false when
// that failed (the process then runs with the limit it has).
bool RaiseOpenFileLimit();

}  // namespace quell
