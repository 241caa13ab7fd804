#pragma once
// Sections of "\LineSet.ini" and "\ModemType.ini", held in memory as the
// file's lines. A section starts at the first line that contains its header
// "[name]" (anywhere in the line) and ends at the next line that contains "["
// or "]", or at the end of the file.
#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/trace_view.h"

namespace quell {

// Keys of "\LineSet.ini" in scan order: EvChar, RxEvent, Priority, Timer.
inline constexpr std::array<std::string_view, 4> kLineSetKeys = {
    "evCHAR=", "RX_EVENT=", "PRIORITY=", "TIMER="};
// Keys of "\ModemType.ini" in scan order: Answer, Hangup, Dial, OnBusy,
// InitStr, InitStr1, InitStr2.
inline constexpr std::array<std::string_view, 7> kModemTypeKeys = {
    "ATA:", "ATH:", "ATD:", "ONBUSY:", "INISTR:", "INISTR1:", "INISTR2:"};

enum class SectionScanEnd { EndOfSection, EndOfFile, ValueRejected };

std::string SectionHeader(std::string_view name);

// The "\LineSet.ini" section of a line: its type, or type "_" mode for the
// caller-identification types ("GSM XCALL_2").
std::string LineSettingsSectionName(std::string_view lineType, int mode);

// Walks the lines of the section (each trimmed). For every line inside it and
// every key that the line contains, in key order, calls
// onValue(keyIndex, value) with the line's second field at separator ("FALSE"
// when empty). onValue returns false to reject the value, which ends the scan.
SectionScanEnd ScanSection(
    const std::vector<std::string>& fileLines, std::string_view header,
    std::span<const std::string_view> keys, std::string_view separator,
    const std::function<bool(size_t keyIndex, const std::string& value)>& onValue);

// Integer values of one "\LineSet.ini" section, written through targets in
// the order of kLineSetKeys. The header goes to the trace first; unless a
// value fails to convert, the final RxEvent (targets[1]) follows it.
void ApplyLineSetSection(const std::vector<std::string>& fileLines, std::string_view sectionName,
                         const std::array<int32_t*, 4>& targets, TraceView& trace);

// Text values of one "\ModemType.ini" section, written through targets in
// the order of kModemTypeKeys.
void ApplyModemTypeSection(const std::vector<std::string>& fileLines, std::string_view modemType,
                           const std::array<std::string*, 7>& targets);

// Every "[name]" of "\ModemType.ini" in file order, trimmed.
std::vector<std::string> CollectModemTypeNames(const std::vector<std::string>& fileLines);

}  // namespace quell
