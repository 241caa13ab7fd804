#pragma once
// The status page: server-rendered HTML with no scripts and nothing loaded
// from elsewhere, refreshed by the browser every 5 s. Every outside text is
// escaped (html_text.h).
#include <string>
#include <vector>

#include "monitoring/event_ring.h"
#include "monitoring/status_snapshot.h"

namespace quell {

inline constexpr const char* kStatusPagePolicy = "default-src 'none'; style-src 'unsafe-inline'";

// snapshot may be null (nothing published yet).
std::string StatusPage(const StatusSnapshot* snapshot, const PendingFigures& pending,
                       const std::vector<RingEvent>& newestFirst);

}  // namespace quell
