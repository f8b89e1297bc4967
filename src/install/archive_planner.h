#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <map>
#include <memory>
#include <unordered_map>
#include <vector>

#include "archive/drs.h"
#include "install/game_before.h"
#include "install/install.h"
#include "install/install_plan.h"

namespace tarnwick {

// Carries the game's archives through a run of package rows without writing them: each
// directory read once, entries redirected and recorded lengths grown by the rows planned so far,
// and what the appended bytes will be known by where they come from. The insert handler, the
// batched install and PlanInstall all decide through it, so that the rules live here once.
class ArchivePlanner {
 public:
  // `mode` is how archives are opened: for reading by a plan, for writing by the install, whose
  // appends then go through File(). With `before`, a plan reads the archives as they stood then
  // (`file_state` is then before->file_state); it must outlive the planner.
  ArchivePlanner(OpenMode mode, const std::array<int32_t, kGameFileCount>& file_state,
                 const GameBefore* before = nullptr)
      : mode_(mode), file_state_(file_state), before_(before) {}

  // An archive resource row (any typeCode but 5 and 6): the insert handler's checks in its
  // order, and on success the change it records. A DRS box goes to context.messages.
  [[nodiscard]] PlannedChange PlanInsert(InstallContext& context);
  // An icon row: one change per civilisation rebuilt, or a refusal last.
  [[nodiscard]] std::vector<PlannedChange> PlanIcons(InstallContext& context);
  // A replacement row: its change, nothing (a Clone Campaigns file without the expansion), or a
  // refusal.
  [[nodiscard]] std::vector<PlannedChange> PlanReplacement(InstallContext& context);

  // The recorded lengths and backup counters after the rows planned so far.
  [[nodiscard]] const std::array<int32_t, kGameFileCount>& file_state() const {
    return file_state_;
  }
  // The open archive behind a planned change.
  [[nodiscard]] BinaryFile& File(int index);
  // A planned entry write fell on an archive's header or table list: what was read of it no
  // longer holds once the write is made.
  [[nodiscard]] bool stale() const { return stale_; }
  // Closes every archive, so that the next row reads it afresh.
  [[nodiscard]] std::error_code CloseAll();

 private:
  struct Appended {  // bytes the plan puts at [start, start + length) of an archive
    int64_t start = 0;
    int64_t length = 0;
    int64_t package_offset = -1;          // copied from the package there, or
    std::array<unsigned char, 8> head{};  // a rebuilt sprite: its version and frame count
  };
  struct View {
    BinaryFile file;
    DrsDirectory directory;
    int64_t length = 0;    // as it will be after the appends planned so far
    int64_t head_end = 0;  // header and table list
    // Where the archive is read as it stood before later mods: its length then and the entries
    // they redirected, as they were.
    int64_t limit = std::numeric_limits<int64_t>::max();
    const std::vector<EntryRestore>* restores = nullptr;
    std::unordered_map<int32_t, int32_t> last_by_id;  // entry number of the last entry per id
    bool ids_changed = false;
    std::vector<Appended> appended;
  };

  // Opens and reads archive `index` once; kDone, or the outcome the handlers take (the error in
  // *error).
  HandlerOutcome Open(InstallContext& context, int index, View** view, std::error_code* error);
  // Puts an entry's new values in the simulated directory.
  void Redirect(View& view, int64_t entry_pos, int32_t offset, int32_t size);
  int32_t LastEntryWithId(View& view, int32_t id);
  // Bytes of the archive as it stands, or as it stood then.
  static std::error_code ReadThen(View& view, int64_t position, void* buffer, size_t count);
  // Four bytes of the archive as they will be: appended bytes first, then the file.
  std::error_code ReadI32(InstallContext& context, View& view, int64_t position, int32_t* value);

  OpenMode mode_;
  std::array<int32_t, kGameFileCount> file_state_;
  const GameBefore* before_;
  std::map<int, std::unique_ptr<View>> views_;
  bool stale_ = false;
};

// A planned resource with the row it comes from.
struct BatchItem {
  PlannedChange planned;
  const ResourceEntry* resource = nullptr;
};

// Records a batch of planned resources in one log save (the mod still marked incomplete), then
// appends their bytes through the planner's open archives and redirects their entries. `context`
// lends the package, buffer, log, messages and progress.
[[nodiscard]] HandlerOutcome RecordAndApply(InstallContext& context, ArchivePlanner& planner,
                                            const std::vector<BatchItem>& batch);

// Shows a refused row's box and hands back its outcome, as the handler would end.
[[nodiscard]] HandlerOutcome EndAtRefusal(InstallContext& context, const PlannedChange& refused);

// Rows of typeCode 5 and 6 replace files and rebuild icons; all others go into archives.
inline bool IsArchiveResource(const ResourceEntry& row) {
  return row.typeCode != 5 && row.typeCode != 6;
}

// Whether an archive the package appends to is shorter than the log says: an unfinished
// install's changes were recorded and their bytes never came, and appending at the recorded
// length would write past the end. Checked before anything is written.
// With `before`, the archives are measured as they stood then.
[[nodiscard]] bool RecordedPastTheEnd(const PackageHeader& header,
                                      const std::array<int32_t, kGameFileCount>& file_state,
                                      const GameFiles& game_files, bool cc_present,
                                      const GameBefore* before = nullptr);

// The refusal of a row whose archive the log says is longer than it is: an unfinished install's
// changes were recorded and never made.
extern const char kUnfinishedModAhead[];

}  // namespace tarnwick
