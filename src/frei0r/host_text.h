// Text from a host, made fit for a message line: a host may pass anything, a megabyte path or bytes that
// would move a terminal's cursor.
#pragma once

#include <string>
#include <string_view>

// `text` in double quotes, its bytes made printable (see PrintableMessage) and shortened to about 120
// characters with "..." where it was cut.
std::string QuotedHostText(std::string_view text);

// `message` with control bytes and bytes that are not UTF-8 written as \xNN, and, when longer than about
// 400 characters, its middle left out (" ... "): the start names what went wrong and the end why.
std::string PrintableMessage(std::string_view message);
