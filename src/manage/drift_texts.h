#pragma once

#include <string>
#include <vector>

#include "common/game_files.h"
#include "manage/check_drift.h"

// What both faces say about drift: the finding's sentence, the likely cause, the choices.
namespace tarnwick {

inline constexpr char kDriftTitle[] = "Game files changed";
inline constexpr char kDriftCause[] =
    "Steam may have verified the game files, the game may have been updated, or another tool "
    "changed them. Installing or removing a mod now could write past the real end of an archive "
    "or cut away bytes that are not a mod's, so nothing has been written.";
inline constexpr char kDriftCancelChoice[] = "Cancel";
inline constexpr char kDriftStartOverChoice[] = "Start over";
inline constexpr char kDriftCarryOnChoice[] = "Carry on";
inline constexpr char kDriftCancelText[] = "Cancel: nothing changes.";
inline constexpr char kDriftStartOverText[] =
    "Start over: take the game as it is now, as if it had just been installed. The list of "
    "installed mods is emptied; the old mods.log, Tarnwick's records and the backups are kept in "
    "the tarnwick folder.";
inline constexpr char kDriftCarryOnText[] =
    "Carry on: no installed mod relies on the changed files.";
inline constexpr char kStartedOverText[] =
    "Tarnwick started over from the game as it is now: no mod is listed as installed. The old "
    "mods.log, Tarnwick's records and the backups are kept in the tarnwick folder.";
inline constexpr char kStartOverFailed[] =
    "Tarnwick could not start over; the game and its mod log are as they were, or as the note in "
    "the tarnwick folder says.";

// One sentence for one finding, naming its file: "graphics.drs is shorter than Tarnwick left it."
[[nodiscard]] std::string DriftSentence(const DriftFinding& finding);

// The whole message: every finding, the cause and the choices offered.
[[nodiscard]] std::string DriftMessage(const std::vector<DriftFinding>& findings,
                                       bool carry_on_offered);

// A file's state as the verify view shows it.
inline constexpr char kStateAsLeft[] = "as Tarnwick left it";
inline constexpr char kStateChanged[] = "changed since";
inline constexpr char kStateMissing[] = "missing";

}  // namespace tarnwick
