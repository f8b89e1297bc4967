#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/game_files.h"
#include "ledger/ledger.h"
#include "modlog/mod_log.h"
#include "platform/messages.h"
#include "platform/progress.h"

namespace tarnwick {

// Removing a mod that is not the newest: the archives are cut back from their end, so the newer
// mods come off first (Remove latest, newest first), the chosen one comes off, and the newer ones
// go back on from their kept packages, oldest first. Every step is the ordinary removal or
// install, so the log describes a valid stack after each; the plan and how far it got live in the
// ledger, so a run cut off anywhere can be finished at the next start (or left: Remove latest
// works on any state it leaves).
//
// Only complete mods can be put back: a newest mod whose install stopped (" (incomplete)") has to
// come off with Remove latest before any mod below it can be removed this way. A mod whose
// package is not kept goes back from a package file the player points at, once that file is
// shown to be its package (SuppliedPackage).

enum class RemovalStepKind {
  kTakeOff,  // a newer mod comes off, to be put back
  kRemove,   // the chosen mod comes off for good
  kPutBack,  // a newer mod goes back on from its kept package
};

struct RemovalStep {
  RemovalStepKind kind = RemovalStepKind::kTakeOff;
  int32_t position = 0;  // the mod's position in the log before the plan started
  std::string title;     // game text, as the log holds it
  std::string changes;   // ChangesDigest of the entry taken off (take off and remove)
  std::string package;   // content hash of the kept package (put back)
  bool operator==(const RemovalStep&) const = default;
};

// Why a removal cannot start. Nothing is written when any of these holds.
enum class RemovalRefusal {
  kNoSuchMod,        // no mod at that position
  kLogUnreadable,    // mods.log could not be read
  kDrifted,          // the game files changed since Tarnwick last touched them
  kIncomplete,       // a newer mod's install stopped part way; it cannot be put back
  kPackageMissing,   // a newer mod's package is not kept, and no file was pointed at for it
  kPackageAltered,   // a newer mod's kept package no longer hashes as recorded, or does not read
  kNotThePackage,    // the file pointed at for a newer mod is not the package it was installed from
  kPackageNotAsked,  // a file was pointed at for a mod that needs none
  kDiskSpace,        // less free space than the plan needs
  kGameRunning,      // the game runs
};

struct FailedPrecondition {
  RemovalRefusal refusal = RemovalRefusal::kNoSuchMod;
  std::string subject;   // the mod concerned (game text) or the file, where there is one
  int32_t position = 0;  // the mod's place in the log, where one is concerned
  std::string file;      // the package file pointed at, where one was
  bool operator==(const FailedPrecondition&) const = default;
};

// A package file the player points at for a newer mod whose package is not kept. It is taken
// only if installing it on the game as it stood just before that mod was installed would record
// the mod's title and changes exactly as the log holds them, and leave what the mod left
// (IsPackageOfMod); the removal then keeps it in the store as an install keeps its package, and
// puts the mod back from there.
struct SuppliedPackage {
  int32_t position = 0;  // the mod's place in the log
  std::string path;      // program path
  std::string hash;      // content hash, once the plan took it
  bool operator==(const SuppliedPackage&) const = default;
};

struct RemovalPlan {
  std::string log_path;
  int32_t target = 0;  // position of the mod to remove, 1 = oldest
  std::string target_title;
  std::vector<std::string> stack;  // ChangesDigest of every entry when planned: the plan's basis
  std::vector<RemovalStep> steps;  // take off n..target+1, remove target, put back target+1..n
  int64_t bytes_to_write = 0;      // payload bytes the put-back installs write into game files
  int64_t disk_needed = 0;         // free space the plan needs at its peak (an upper bound)
  int64_t disk_free = -1;          // free space on the game's disk; -1 when unknown
  std::vector<SuppliedPackage> supplied;  // files taken as packages, kept before the first step
  std::vector<FailedPrecondition> failed;
  [[nodiscard]] bool Ok() const { return failed.empty(); }
};

// Decides the steps and checks every precondition (drift, kept packages or the files pointed at
// for them, disk space, the game not running); reads the files, writes nothing. `log` is as read
// from disk; `cc_present` as the put-backs will install.
[[nodiscard]] RemovalPlan PlanRemoval(const ModLog& log, const GameFiles& game_files,
                                      bool cc_present, const Ledger& ledger, int32_t target,
                                      const std::vector<SuppliedPackage>& supplied = {});

// The mods whose package files the player could point at: when packages that are not kept are
// all that stops the plan, one failure each; otherwise none.
[[nodiscard]] std::vector<FailedPrecondition> MissingPackages(const RemovalPlan& plan);
// Asked before the file dialogs, and the title of the dialog for one mod (game text).
[[nodiscard]] std::string ChoosePackagesQuestion(const RemovalPlan& plan);
[[nodiscard]] std::string ChoosePackageTitle(const FailedPrecondition& missing);

// The plan in plain words, one line each (game text): what comes off, what goes back, in which
// order, the bytes and the disk space; or why it cannot be done.
[[nodiscard]] std::vector<std::string> Describe(const RemovalPlan& plan);
[[nodiscard]] std::string Describe(const FailedPrecondition& failed);
// The question before the first write.
[[nodiscard]] std::string Question(const RemovalPlan& plan);
inline constexpr char kRemoveAnyTitle[] = "Remove mod";
// What a face says when ApplyRemoval refuses a plan that held when it was made.
inline constexpr char kPlanOutOfDate[] =
    "The mods or a chosen package file changed since the plan was made; nothing was done.";

enum class RemovalOutcome {
  kDone,
  kRefused,     // a precondition failed, or the log or a file taken as a package changed since
                // the plan: nothing written
  kStepFailed,  // a step failed after its message; the stack is valid, the plan stays recorded
  kNoPlan,      // nothing to finish
  kPlanStale,   // the recorded plan no longer fits the log (another installer acted); dropped
};

// Carries the plan out step by step with InstallPackage and RemoveLatest, recording the plan in
// the ledger before the first step and its progress after each; the package files the plan took
// are kept in the store before that. Shows the steps' own messages.
// When the drift check inside those runs, it finds the files as the previous step recorded them.
[[nodiscard]] RemovalOutcome ApplyRemoval(const RemovalPlan& plan, ModLog& log,
                                          const GameFiles& game_files, bool cc_present,
                                          Messages& messages, Progress* progress);

// A removal recorded in the ledger that has not finished: its plan (steps, target) and how many
// steps are recorded as done. False when there is none; a recorded plan this version cannot read
// is dropped then (the stack is valid as it stands).
struct PendingRemoval {
  RemovalPlan plan;
  int32_t done = 0;
};
[[nodiscard]] bool FindPendingRemoval(const std::string& log_path, PendingRemoval& pending);
// "A removal was cut off: ..." with what is left to do (game text).
[[nodiscard]] std::string ResumeQuestion(const PendingRemoval& pending);

// Finishes the recorded plan from wherever it stopped (a step cut off part way is undone or
// redone first). kPlanStale when the log no longer fits it: the plan is dropped, the stack left.
[[nodiscard]] RemovalOutcome ResumeRemoval(ModLog& log, const GameFiles& game_files,
                                           bool cc_present, Messages& messages, Progress* progress);
// Leaves the stack as it stands and forgets the plan (kept packages no mod uses are deleted).
void AbandonRemoval(const std::string& log_path);

// The plan as the ledger's `plan` field holds it, and back (false when it is not one).
[[nodiscard]] std::string PlanText(const RemovalPlan& plan, int32_t done);
[[nodiscard]] bool ParsePlan(const std::string& text, RemovalPlan& plan, int32_t& done);

}  // namespace tarnwick
