// The launcher's own user interface: its string table and its message boxes.
#pragma once
#include <string>
#include <string_view>

#include "platform/std_streams.h"

namespace plat {

// String `id` of the executable's string table, or false when it has none. On Linux the
// launcher carries the same table built in.
bool LoadStringResource(unsigned id, std::u16string& out);

// A modal warning box, set to the foreground and topmost, owned by `owner` (a window, or
// null), that waits for the user. On Linux: the line "caption: text" on the user's
// standard error (WriteUserError), and also on a redirected standard error. A box that
// cannot be shown is passed over.
void ShowMessageBox(void* owner, const std::string& text, const std::string& caption);

// The user's standard error is the one the launcher was started with. While the
// configuration redirects the standard error, the redirection keeps the old one aside and
// names it here (kNoOutput: the standard error as it is), so that the launcher's own lines
// for the user still reach the terminal instead of the application's log.
void SetUserErrorOutput(OutputHandle h);
void WriteUserError(std::string_view text);

}  // namespace plat
