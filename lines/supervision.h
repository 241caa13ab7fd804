#pragma once
// The two-second supervision of all lines: each line's condition as its
// icon, a status notice to the station client on every change (with the
// alarm sound when a line goes down), and the pacing of the workers.
#include <string>

#include "core/alarm_sound.h"
#include "core/clock.h"
#include "core/notice_list.h"
#include "lines/line_list.h"

namespace quell {

inline constexpr int kIconClosed = 5;
inline constexpr int kIconSilent = 26;
inline constexpr int kIconAlive = 4;

int LineIcon(const TLineGSM& line);

// Sets the entry's icon from its line and announces a change.
void UpdateLineIcon(LineEntry& entry, NoticeList& notices, AlarmSound& sound);

// One supervision pass over every line in list order: icons and notices,
// then pause workers of stopped lines and resume workers of started lines
// whose ports are open. A modem line that starts initialises its modem on
// its first step.
void SuperviseLines(LineList& lines, NoticeList& notices, AlarmSound& sound, const Clock& clock);

}  // namespace quell
