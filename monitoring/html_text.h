#pragma once
// Outside texts (event lines, short messages, receiver texts, line names)
// made safe for an HTML page: Windows-1251 converted to UTF-8, the HTML
// metacharacters escaped, and bytes below 0x20 shown as "\xNN".
#include <string>
#include <string_view>

namespace quell {

std::string HtmlFromCp1251(std::string_view bytes);
// The same for a text already in UTF-8 (control bytes shown as "\xNN").
std::string HtmlFromUtf8(std::string_view utf8);

}  // namespace quell
