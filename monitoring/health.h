#pragma once
// The health answers, from the latest snapshot:
// - live: 200 while the engine's event loop turns (the snapshot is younger
//   than kLiveLimit), else 503;
// - ready: 200 while every field listener listens and the store writes; the
//   console port and the client ports are told in the body but do not gate
//   it, so a standby gateway can be ready.
// Both bodies are JSON.
#include <chrono>
#include <memory>
#include <string>

#include "monitoring/status_snapshot.h"

namespace quell {

inline constexpr std::chrono::milliseconds kLiveLimit{3000};

struct HealthAnswer {
  int status = 503;
  std::string body;  // JSON
};

HealthAnswer LiveAnswer(const StatusSnapshot* snapshot, SteadyTime now);
HealthAnswer ReadyAnswer(const StatusSnapshot* snapshot, SteadyTime now);

// A JSON string literal of UTF-8 text.
std::string JsonString(std::string_view utf8);

}  // namespace quell
