#pragma once

#include <QString>

#include <system_error>

namespace quorvia::platform {

// What a system error says to the speaker, in the speaker's words: the one
// place an errno becomes text, for the store, the backups and the locks. The
// system's own message is English, so it never reaches a window.
QString describeError(int error);
QString describeError(const std::error_code& error);

// A write refused because another launch holds the instance locks: said in
// words of its own, which no error of the system borrows.
std::error_code anotherInstanceError();

} // namespace quorvia::platform
