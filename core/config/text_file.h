#pragma once
// Configuration text files: 8-bit Windows-1251 lines. CR LF, a bare CR or a
// bare LF ends a line on reading; every line is written with CR LF. Paths are
// native (UTF-8) file system paths.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quell {

// The process's current directory, trimmed of blanks and control characters.
std::string CurrentWorkingDirectory();

// workDir joined with a file name such as "\ConnectionType.ini" (the leading
// backslash or slash is dropped).
std::string ConfigPath(std::string_view workDir, std::string_view fileName);

// Splits file content into lines. A terminator at the very end does not
// start another line, so "a\r\n" is one line and "" is none.
std::vector<std::string> SplitTextLines(std::string_view content);

// All lines of the file, or nullopt when it is missing or cannot be read.
std::optional<std::vector<std::string>> ReadTextLines(const std::string& path);

// Replaces the file with the lines, each followed by CR LF. The old content
// stays untouched when writing fails.
bool WriteTextLines(const std::string& path, const std::vector<std::string>& lines);

// True for an existing file (a directory does not count).
bool FileExists(const std::string& path);

}  // namespace quell
