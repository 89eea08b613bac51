// The launcher's own user interface: its string table and its message boxes.
#pragma once
#include <string>

namespace plat {

// String `id` of the executable's string table, or false when it has none. On Linux the
// launcher carries the same table built in.
bool LoadStringResource(unsigned id, std::u16string& out);

// A modal warning box, set to the foreground and topmost, owned by `owner` (a window, or
// null), that waits for the user. On Linux: the line "caption: text" on standard error.
// A box that cannot be shown is passed over.
void ShowMessageBox(void* owner, const std::string& text, const std::string& caption);

}  // namespace plat
