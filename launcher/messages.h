// The launcher's numbered messages, its message box and its exit codes.
#pragma once
#include <string>

#include "payload/context.h"

// Result codes of the VM run: each is both the message shown and the process exit code.
enum ResultCode : int {
  kResultOk = 0,
  kResultNoRuntime = 1,       // no VM library found
  kResultBadRuntime = 2,      // VM library not loadable or without creation function
  kResultInitFailed = 3,      // in the table only
  kResultCreateFailed = 4,    // VM creation refused
  kResultNoVersion = 5,       // runtime version not readable
  kResultTooOld = 6,          // below "minjre" (a format)
  kResultNoMainClass = 7,     // class loader or main class not found
  kResultNoMainMethod = 8,    // no static main method
  kResultTooNew = 12,         // above "maxjre" (a format)
};

// Other message numbers and exit codes.
constexpr int kMessageCaption = 10;           // caption of every box
constexpr int kMessageAlreadyRunning = 13;    // refused second start
constexpr int kMessageTooNewNoMinimum = 14;   // 12 when only "maxjre" is set (a format)
constexpr int kExitAlreadyRunning = 11;       // exit code of a refused second start
constexpr int kExitMainThrew = 1;             // an exception escaped main (no message)

// Message `number`: the first "message" override for it, else the string table entry,
// else "". The overrides are read from the configuration at the first call and kept.
std::string Message(const LauncherContext& ctx, int number);

// Fills the "%s" of a version message (6 or 12) in order with the runtime version,
// "minjre", "maxjre" and then empty strings; "%%" gives "%". Any other "%" sequence is
// copied as written, so an override can never make it read anything else.
std::string FormatVersionMessage(const std::string& format, const std::string& version, const std::string& minJre,
                                 const std::string& maxJre);

// The text shown for a failed VM run: message `code`, filled for 6 and 12.
std::string ResultMessage(const LauncherContext& ctx, int code, const std::string& version = {},
                          const std::string& minJre = {}, const std::string& maxJre = {});

// The warning box with `text` and the caption message 10 (of the published launcher
// context, else the string table), owned by the splash window while one is open; the
// splash is then asked to close after 100 ms. Waits for the user.
void ShowError(const std::string& text);

// Set by the launcher's own splash window: `owner` answers its window handle (null when
// none is open), `closeAfter` asks it to close after the given milliseconds. Either may be
// null. Set before the VM thread starts.
void SetErrorBoxOwner(void* (*owner)(), void (*closeAfter)(unsigned ms));

// Tests only: forget the overrides so that the next Message reads them again.
void ResetMessageOverridesForTests();
