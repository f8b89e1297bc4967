#include <algorithm>
#include <array>
#include <cstring>
#include <exception>
#include <limits>
#include <string>
#include <system_error>

#include "archive/drs.h"
#include "install/install.h"
#include "install/install_rules.h"
#include "platform/failure.h"
#include "platform/file_system.h"
#include "platform/trace.h"

namespace tarnwick {
namespace {

constexpr int32_t kIconInfoSize = 12;
constexpr int32_t kSlpHeaderSize = 32;
constexpr int32_t kSlpFrameRowSize = 32;
constexpr int kMaxCivs = 8;
constexpr int64_t kInt32Max = std::numeric_limits<int32_t>::max();

// Frame row fields that the new frame replaces.
constexpr size_t kCommandTableOffsetField = 0;
constexpr size_t kOutlineTableOffsetField = 4;
constexpr size_t kWidthField = 16;
constexpr size_t kHeightField = 20;

struct IconInfo {
  int32_t civMask = 0;
  int32_t width = 0;
  int32_t height = 0;
};

std::string TempSpritePath(int c) {
  return TempFolder() + "\\quillet" + std::to_string(c) + ".slp";
}

class IconInstaller {
 public:
  explicit IconInstaller(InstallContext& context)
      : context_(context),
        resource_(context.resource),
        archive_index_(IconArchiveIndex(context.CCPresent)),
        civ_count_(IconCivCount(context.CCPresent)) {}

  HandlerOutcome Run();

 private:
  HandlerOutcome Fail(std::error_code error) { return tarnwick::Fail(context_, error); }

  // Whether the payload holds all that the rebuild reads of it. Width and row offsets are only
  // stored or added to, so any value installs.
  [[nodiscard]] bool PayloadReadable() const;
  // Every sprite to rebuild lies in the archive, holds frame N and its frame table, and the
  // archive's recorded length stays a 32-bit value after all of them.
  [[nodiscard]] HandlerOutcome CheckSprites(bool* valid);
  [[nodiscard]] HandlerOutcome InstallCiv(int c);
  [[nodiscard]] std::error_code BuildTempSprite(const DrsFileEntry& sprite, BinaryFile& temp);
  [[nodiscard]] std::error_code WriteZeros(BinaryFile& file, int64_t count);

  int64_t CommandLength() const {
    return int64_t{resource_.dataLength} - kIconInfoSize - int64_t{4} * info_.height;
  }

  InstallContext& context_;
  const ResourceEntry& resource_;
  const int archive_index_;
  const int civ_count_;
  BinaryFile archive_;
  DrsDirectory directory_;
  IconInfo info_;
  // Per civilisation: 0 nothing to do, negative the id still sought, positive its entry number.
  std::array<int32_t, kMaxCivs> work_{};
};

HandlerOutcome IconInstaller::Run() {
  TraceLog("Icon");
  const std::string& archive_path = context_.game_files[static_cast<size_t>(archive_index_)];
  TraceLog("Opening DRS");
  if (auto error = archive_.Open(archive_path, OpenMode::kReadWrite)) return Fail(error);
  std::error_code io_error;
  switch (ReadDrsDirectory(archive_, directory_, context_.messages, &io_error)) {
    case DrsRead::kOk:
      break;
    case DrsRead::kInvalid:
      return HandlerOutcome::kInvalidPackage;
    case DrsRead::kIoError:
      return Fail(io_error);
  }

  TraceLog("Reading icon info from MPI");
  // Only the IconInfo is needed to learn that the resource changes nothing; the rest of the
  // payload is checked once a sprite is to be rebuilt from it.
  if (resource_.dataLength < kIconInfoSize || resource_.dataOffset < 0 ||
      int64_t{resource_.dataOffset} + kIconInfoSize > context_.package_length) {
    return HandlerOutcome::kInvalidPackage;
  }
  std::array<unsigned char, kIconInfoSize> raw{};
  if (auto error = context_.package.ReadAt(resource_.dataOffset, raw.data(), raw.size())) {
    return Fail(error);
  }
  info_ = {LoadI32(raw.data()), LoadI32(raw.data() + 4), LoadI32(raw.data() + 8)};

  const int32_t icon_set = IconSetOf(info_.civMask);
  for (int c = 0; c < civ_count_; ++c) {
    work_[static_cast<size_t>(c)] =
        (info_.civMask >> c & 1) != 0 ? -IconSpriteId(icon_set, c, context_.CCPresent) : 0;
  }

  TraceLog("Looking for matching resource IDs");
  for (int32_t i = 1; i <= directory_.totalEntries; ++i) {
    for (int c = 0; c < civ_count_; ++c) {
      int32_t& value = work_[static_cast<size_t>(c)];
      if (value < 0 && directory_.entries[i].id == -value) value = i;
    }
  }

  const bool any_sprite = std::any_of(work_.begin(), work_.end(), [](int32_t v) { return v > 0; });
  if (any_sprite) {
    if (!PayloadReadable()) return HandlerOutcome::kInvalidPackage;
    bool valid = false;
    if (const HandlerOutcome outcome = CheckSprites(&valid); outcome != HandlerOutcome::kDone) {
      return outcome;
    }
    if (!valid) return HandlerOutcome::kInvalidPackage;
  }

  TraceLog("Installing icons:");
  for (int c = 0; c < civ_count_; ++c) {
    TraceLog("Civ no. ", c);
    if (work_[static_cast<size_t>(c)] <= 0) continue;
    if (const HandlerOutcome outcome = InstallCiv(c); outcome != HandlerOutcome::kDone) {
      return outcome;
    }
  }

  TraceLog("Finished the resource");
  if (auto error = archive_.Close()) return Fail(error);
  return HandlerOutcome::kDone;
}

bool IconInstaller::PayloadReadable() const {
  return PayloadInPackage(context_) && info_.height >= 0 && CommandLength() >= 0;
}

HandlerOutcome IconInstaller::CheckSprites(bool* valid) {
  *valid = false;
  int64_t archive_length = 0;
  if (auto error = archive_.Length(&archive_length)) return Fail(error);
  const int32_t recorded_length = context_.log.FileState[static_cast<size_t>(archive_index_)];
  if (recorded_length < 0) return Fail(make_error_code(FileError::kOutOfRange));
  const int32_t n = resource_.resourceId;
  int64_t end = recorded_length;
  for (int c = 0; c < civ_count_; ++c) {
    const int32_t number = work_[static_cast<size_t>(c)];
    if (number <= 0) continue;
    const DrsFileEntry& sprite = directory_.entries[number];
    if (sprite.offset < 0 || sprite.size < kSlpHeaderSize ||
        int64_t{sprite.offset} + sprite.size > archive_length) {
      return HandlerOutcome::kDone;
    }
    unsigned char raw[4];
    if (auto error = archive_.ReadAt(int64_t{sprite.offset} + 4, raw, sizeof raw)) {
      return Fail(error);
    }
    const int32_t frame_count = LoadI32(raw);
    if (n < 1 || n > frame_count) return HandlerOutcome::kDone;
    if (sprite.size < kSlpHeaderSize + int64_t{kSlpFrameRowSize} * frame_count) {
      return HandlerOutcome::kDone;
    }
    if (EntryPosition(directory_, number) < 0 ||
        EntryPosition(directory_, number) > kInt32Max - kDrsEntrySize) {
      return HandlerOutcome::kDone;
    }
    end += sprite.size + CommandLength() + int64_t{8} * info_.height;
    if (end > kInt32Max) return HandlerOutcome::kDone;
  }
  *valid = true;
  return HandlerOutcome::kDone;
}

HandlerOutcome IconInstaller::InstallCiv(int c) {
  const int32_t number = work_[static_cast<size_t>(c)];
  const DrsFileEntry sprite = directory_.entries[number];
  TraceLog("Initialising stuff");
  const std::string temp_path = TempSpritePath(c);
  // A file left by an earlier failure, or anything planted under the name, goes first; the
  // exclusive create then refuses whatever reappears there, a link included.
  (void)DeleteFile(temp_path);
  TraceLog("Creating temporary SLP");
  BinaryFile temp;
  if (auto error = temp.Open(temp_path, OpenMode::kCreateExclusive)) return Fail(error);
  if (auto error = BuildTempSprite(sprite, temp)) return Fail(error);

  TraceLog("Doing more stuff");
  const int64_t position = EntryPosition(directory_, number);
  if (position < 0) return HandlerOutcome::kInvalidPackage;
  std::array<unsigned char, kDrsEntrySize> entry{};
  if (auto error = archive_.ReadAt(position, entry.data(), entry.size())) return Fail(error);
  const int32_t recorded_length = context_.log.FileState[static_cast<size_t>(archive_index_)];
  int64_t temp_length = 0;
  if (auto error = temp.Length(&temp_length)) return Fail(error);
  if (int64_t{recorded_length} + temp_length > kInt32Max) {
    return Fail(make_error_code(FileError::kOutOfRange));
  }

  CurrentEntry(context_).Changes.push_back(FileChange{
      static_cast<int16_t>(archive_index_), recorded_length, static_cast<int32_t>(position),
      LoadI32(entry.data() + 4), LoadI32(entry.data() + 8)});
  const auto new_size = static_cast<int32_t>(temp_length);
  context_.log.FileState[static_cast<size_t>(archive_index_)] = recorded_length + new_size;
  if (SaveModLog(context_.log, context_.messages)) {
    return Fail({});
  }

  TraceLog("Installing icon into DRS");
  if (auto error = temp.Seek(0)) return Fail(error);
  if (auto error = archive_.Seek(recorded_length)) return Fail(error);
  if (auto error = CopyBlocks(context_, temp, archive_, temp_length)) return Fail(error);
  unsigned char field[4];
  StoreI32(field, recorded_length);
  if (auto error = archive_.WriteAt(position + 4, field, sizeof field)) return Fail(error);
  StoreI32(field, new_size);
  if (auto error = archive_.WriteAt(position + 8, field, sizeof field)) return Fail(error);

  if (auto error = temp.Close()) return Fail(error);
  TraceLog("Clearing up");
  (void)DeleteFile(temp_path);
  TraceLog("Finished the icon");
  return HandlerOutcome::kDone;
}

std::error_code IconInstaller::BuildTempSprite(const DrsFileEntry& sprite, BinaryFile& temp) {
  const int32_t s = sprite.size;
  const int32_t h = info_.height;
  const int32_t n = resource_.resourceId;
  if (auto error = archive_.Seek(sprite.offset)) return error;
  if (auto error = CopyBlocks(context_, archive_, temp, 4)) return error;  // version
  unsigned char raw[4];
  if (auto error = archive_.Read(raw, sizeof raw)) return error;
  if (auto error = temp.Write(raw, sizeof raw)) return error;
  const int32_t frame_count = LoadI32(raw);
  // Checked before anything was recorded; an earlier civilisation's append must not have
  // changed the sprite since (it could, were the sprite to lie beyond the recorded length).
  if (n > frame_count || s < kSlpHeaderSize + int64_t{kSlpFrameRowSize} * frame_count) {
    return make_error_code(FileError::kOutOfRange);
  }
  if (auto error = CopyBlocks(context_, archive_, temp, 24)) return error;  // comment
  if (auto error = CopyBlocks(context_, archive_, temp, int64_t{kSlpFrameRowSize} * (n - 1))) {
    return error;
  }

  std::array<unsigned char, kSlpFrameRowSize> row{};
  if (auto error = archive_.Read(row.data(), row.size())) return error;
  StoreI32(row.data() + kCommandTableOffsetField, s + 4 * h);
  StoreI32(row.data() + kOutlineTableOffsetField, s);
  StoreI32(row.data() + kWidthField, info_.width);
  StoreI32(row.data() + kHeightField, h);
  if (auto error = temp.Write(row.data(), row.size())) return error;

  if (auto error =
          CopyBlocks(context_, archive_, temp, int64_t{kSlpFrameRowSize} * (frame_count - n))) {
    return error;
  }
  const int64_t rest = s - kSlpHeaderSize - int64_t{kSlpFrameRowSize} * frame_count;
  if (auto error = CopyBlocks(context_, archive_, temp, rest)) return error;

  // The new frame's outline: no transparent margin on any row.
  if (auto error = WriteZeros(temp, int64_t{4} * h)) return error;

  // Its command table: the payload's row offsets made absolute within the new sprite.
  if (auto error = context_.package.Seek(int64_t{resource_.dataOffset} + kIconInfoSize)) {
    return error;
  }
  const int32_t shift = s + 8 * h;
  unsigned char* buffer = context_.buffer.data();
  for (int64_t rows_left = h; rows_left > 0;) {
    const int64_t rows = std::min<int64_t>(rows_left, kCopyBufferSize / 4);
    const auto bytes = static_cast<size_t>(rows * 4);
    if (auto error = context_.package.Read(buffer, bytes)) return error;
    // The sum wraps as the 32-bit field does: an offset outside the command data is the
    // package's business, not a reason to refuse it.
    for (int64_t r = 0; r < rows; ++r) {
      const uint32_t sum =
          static_cast<uint32_t>(LoadI32(buffer + 4 * r)) + static_cast<uint32_t>(shift);
      StoreI32(buffer + 4 * r, static_cast<int32_t>(sum));
    }
    if (auto error = temp.Write(buffer, bytes)) return error;
    rows_left -= rows;
  }
  return CopyBlocks(context_, context_.package, temp, CommandLength());
}

std::error_code IconInstaller::WriteZeros(BinaryFile& file, int64_t count) {
  std::memset(context_.buffer.data(), 0,
              static_cast<size_t>(std::min<int64_t>(count, kCopyBufferSize)));
  while (count > 0) {
    const auto block = static_cast<size_t>(std::min<int64_t>(count, kCopyBufferSize));
    if (auto error = file.Write(context_.buffer.data(), block)) return error;
    count -= static_cast<int64_t>(block);
  }
  return {};
}

}  // namespace

HandlerOutcome InstallIcons(InstallContext& context) {
  try {
    IconInstaller installer(context);
    return installer.Run();
  } catch (const std::exception&) {
    context.error = std::make_error_code(std::errc::not_enough_memory);
    return HandlerOutcome::kError;
  }
}

}  // namespace tarnwick
