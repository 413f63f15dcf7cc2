// TZipBaseArchiver / TZipArchiver: settings, open and close, updates and
// their commit or rollback, the entry writer and the central directory.
// Collecting files from masks lives in collect_files.cpp.
#include "zip/zip_archiver.h"

#include <algorithm>
#include <cerrno>
#include <exception>
#include <map>
#include <stdexcept>

#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/user_interface.h"
#include "zip/archive_check.h"
#include "zip/entry_names.h"
#include "zip/masks.h"
#include "zip/zip_files.h"

namespace zip {
namespace {

std::string ansi(const std::u16string& s) { return platform::utf16_to_ansi(s); }

std::u16string with_backslashes(std::u16string s) {
  std::replace(s.begin(), s.end(), u'/', u'\\');
  return s;
}

}  // namespace

// ---- settings -------------------------------------------------------------

TZipBaseArchiver::TZipBaseArchiver() { SetCompressionLevel(clFastest); }

TZipBaseArchiver::~TZipBaseArchiver() {
  // A destructor cannot report: whoever needs to know that the archive was
  // finished calls Close first and hears its error.
  try {
    Close();
  } catch (...) {
  }
}

void TZipBaseArchiver::SetCompressionLevel(TZipCompressionLevel v) {
  compression_level_ = v;
  compression_mode_ = compression_mode_for_level(v);
  UpdateMethodInUse();
}

void TZipBaseArchiver::SetCompressionMode(int v) {
  if (v < 0 || v > 9) Raise(kErrInvalidCompressionMode);
  compression_mode_ = v;
  compression_level_ = compression_level_for_mode(v);
  UpdateMethodInUse();
}

void TZipBaseArchiver::SetSpanningMode(TZipSpanningMode v) {
  if (active_) throw std::runtime_error("Cannot set spanning mode on open archive");
  spanning_mode_ = v;
}

TZipArchiver::TZipArchiver() {
  zip64_mode_ = zmDisabled;
  UpdateMethodInUse();
}

void TZipBaseArchiver::Raise(int native_error, const std::vector<MessageArg>& args) const {
  throw EZipException(native_error, args, name_);
}

// ---- events and their defaults ---------------------------------------------

bool TZipBaseArchiver::NotifyOverallProgress(double progress, TZipProcessOperation op,
                                             TZipProgressPhase phase) {
  bool cancel = false;
  if (OnOverallProgress) OnOverallProgress(this, progress, op, phase, cancel);
  return cancel;
}

bool TZipBaseArchiver::NotifyFileProgress(const std::u16string& name, double progress,
                                          TZipProcessOperation op, TZipProgressPhase phase) {
  bool cancel = false;
  if (OnFileProgress) OnFileProgress(this, with_backslashes(name), progress, op, phase, cancel);
  return cancel;
}

bool TZipBaseArchiver::NotifyCopyTempFileProgress(double progress, TZipProgressPhase phase) {
  bool cancel = false;
  if (OnCopyTempFileProgress) OnCopyTempFileProgress(this, progress, phase, cancel);
  return cancel;
}

bool TZipBaseArchiver::ConfirmOverwrite(const std::u16string& source, std::u16string& dest) {
  bool confirm = true;
  if (OnConfirmOverwrite) OnConfirmOverwrite(this, source, dest, confirm);
  return confirm;
}

bool TZipBaseArchiver::ConfirmProcessFile(const std::u16string& name, TZipProcessOperation op) {
  bool confirm = true;
  if (OnConfirmProcessFile) OnConfirmProcessFile(this, name, op, confirm);
  return confirm;
}

TZipAction TZipBaseArchiver::HandleFileFailure(const std::u16string& name, TZipProcessOperation op,
                                               int native_error, int error_code,
                                               const std::string& message) {
  if (OnProcessFileFailure) {
    TZipAction action = fxaIgnore;
    OnProcessFileFailure(this, name, op, native_error, error_code, message, action);
    return action;
  }
  if (native_error == 45) return fxaAbort;
  const bool allow_retry = native_error != 61;
  const std::string text =
      allow_retry ? message + ". File processing error, possibly disk is full" : message;
  switch (platform::user_interface().AskAbortRetryIgnore(text, allow_retry)) {
    case platform::FailureAnswer::kRetry:
      return allow_retry ? fxaRetry : fxaAbort;
    case platform::FailureAnswer::kIgnore:
      return fxaIgnore;
    case platform::FailureAnswer::kAbort:
      break;
  }
  return fxaAbort;
}

bool TZipBaseArchiver::HandleDiskFull(int volume_number, const std::u16string& volume_file_name) {
  if (!OnDiskFull) throw EZipException(kErrDiskFull);  // no component-name prefix
  bool cancel = false;
  OnDiskFull(this, volume_number, volume_file_name, cancel);
  if (cancel) cancel_ = true;
  return !cancel;
}

void TZipBaseArchiver::NotifyStoreFile(std::u16string& name, std::uint32_t& attr,
                                       std::string& comment, const std::u16string& original) {
  if (!OnStoreFile) return;
  std::u16string shown = with_backslashes(name);
  OnStoreFile(this, shown, attr, comment, original);
  std::replace(shown.begin(), shown.end(), u'\\', u'/');
  name = shown;
}

bool TZipBaseArchiver::ProgressCancelled(std::uint64_t bytes_read, std::uint64_t source_size) {
  // The item's name is not known here; the entry writer reports its own
  // start and end, and the compressor the progress in between.
  double file = source_size
                    ? 100.0 * static_cast<double>(bytes_read) / static_cast<double>(source_size)
                    : 100.0;
  double overall = bytes_total_ ? 100.0 * static_cast<double>(bytes_done_ + bytes_read) /
                                      static_cast<double>(bytes_total_)
                                : 50.0;
  bool cancel = NotifyFileProgress(current_name_, file, current_op_, ppProcess);
  if (!cancel) cancel = NotifyOverallProgress(overall, current_op_, ppProcess);
  if (cancel) cancel_ = true;
  return cancel;
}

bool TZipBaseArchiver::RetryAfterDiskFull() { return HandleDiskFull(0, file_name_); }

// ---- open and close ---------------------------------------------------------

void TZipBaseArchiver::Open(std::uint16_t mode) {
  // The file-name part after the last separator must not be empty.
  std::u16string::size_type slash = file_name_.find_last_of(u"/\\:");
  if ((slash == std::u16string::npos ? file_name_ : file_name_.substr(slash + 1)).empty())
    Raise(kErrBlankFileName);
  std::u16string full =
      normalize_path(file_name_, from_os(platform::to_os_path(platform::current_dir())));
  FoundFile found;
  const bool exists = find_file(full, found) && !found.is_folder;
  if (mode != kCreateMode && !exists && spanning_mode_ != smSpanning)
    Raise(kErrArchiveNotFound, {ansi(file_name_)});
  Close();
  int err = 0;
  if (mode == kCreateMode) {
    own_stream_ = create_archive_file(full, &err);
    if (!own_stream_) throw platform::EFCreateError(ansi(full), err);
  } else {
    own_stream_ = open_archive_file(full, (mode & 3) != 0, &err);
    if (!own_stream_) throw platform::EFOpenError(ansi(full), err);
  }
  stream_ = own_stream_.get();
  archive_path_ = full;
  open_mode_ = mode;
  items_.clear();
  rollback_.clear();
  archive_comment_.clear();
  stub_size_ = 0;
  directory_offset_ = 0;
  if (mode != kCreateMode) {
    // A directory that does not parse is a damaged archive (the parser's
    // finding stays nested in the exception); a failed read is reported as
    // the file error it is, and anything else passes unchanged.
    try {
      ReadDirectory();
    } catch (const EArchiveCheckError&) {
      ReleaseArchive();
      std::throw_with_nested(EZipException(kErrArchiveDamaged, {}, name_));
    } catch (...) {
      ReleaseArchive();
      throw;
    }
  }
  active_ = true;
  if (AfterOpen) AfterOpen(this);
}

void TZipBaseArchiver::Open() {
  std::u16string full =
      normalize_path(file_name_, from_os(platform::to_os_path(platform::current_dir())));
  FoundFile found;
  if (!find_file(full, found) || found.is_folder) return Open(kCreateMode);
  int err = 0;
  bool writable = open_archive_file(full, true, &err) != nullptr;
  Open(writable ? kOpenReadWriteDenyWrite : kOpenReadShareAll);
}

void TZipBaseArchiver::Open(TZipStream* stream) {
  if (!stream) Raise(kErrNoStream);
  Close();
  stream_ = stream;
  stream_->SetPosition(0);
  stream_->Truncate();
  archive_path_.clear();
  open_mode_ = kCreateMode;
  items_.clear();
  rollback_.clear();
  archive_comment_.clear();
  stub_size_ = 0;
  directory_offset_ = 0;
  active_ = true;
  if (AfterOpen) AfterOpen(this);
}

void TZipBaseArchiver::RaiseReadError() const {
  const int err = stream_->LastError();
  throw platform::EFOpenError(ansi(archive_path_), err != 0 ? err : EIO);
}

void TZipBaseArchiver::ReadDirectory() {
  const std::uint64_t size = stream_->Size();
  const std::uint64_t max_tail = kEndRecordSize + 0xFFFF + kZip64LocatorSize + kZip64EndSize;
  const std::uint64_t tail_size = std::min(size, max_tail);
  std::string tail(static_cast<std::size_t>(tail_size), '\0');
  stream_->SetPosition(static_cast<std::int64_t>(size - tail_size));
  if (!stream_->ReadExactly(tail.data(), tail.size())) RaiseReadError();
  ArchiveDirectory d = parse_end_records(tail, size - tail_size);
  std::string dir(static_cast<std::size_t>(d.directory_size), '\0');
  stream_->SetPosition(static_cast<std::int64_t>(d.directory_offset));
  if (!stream_->ReadExactly(dir.data(), dir.size())) RaiseReadError();
  std::uint64_t stub = d.directory_offset;
  for (const ArchiveEntry& e : parse_central_directory(dir, d.entries)) {
    TDirItem i;
    i.VersionMadeBy = e.version_made_by;
    i.VersionNeeded = e.version_needed;
    i.Flags = e.flags;
    i.Method = i.MethodInUse = e.method;
    i.ModTime = e.mod_time;
    i.ModDate = e.mod_date;
    i.Crc32 = e.crc32;
    i.Zip64 = e.uncompressed_size >= kMax32 || e.compressed_size >= kMax32 ||
              e.local_header_offset >= kMax32;
    i.UncompressedSize =
        e.uncompressed_size >= kMax32 ? kMax32 : static_cast<std::uint32_t>(e.uncompressed_size);
    i.UncompressedSize64 = e.uncompressed_size;
    i.CompressedSize =
        e.compressed_size >= kMax32 ? kMax32 : static_cast<std::uint32_t>(e.compressed_size);
    i.CompressedSize64 = e.compressed_size;
    i.LocalHeaderOffset = e.local_header_offset >= kMax32
                              ? kMax32
                              : static_cast<std::uint32_t>(e.local_header_offset);
    i.LocalHeaderOffset64 = e.local_header_offset;
    i.InternalAttributes = e.internal_attributes;
    i.ExternalAttributes = e.external_attributes;
    i.Name = e.name;
    i.IsFolder = !e.name.empty() && e.name.back() == u'/';
    i.Comment = e.comment;
    i.ExtraFields = other_extra_fields(e.extra);
    stub = std::min(stub, e.local_header_offset);
    items_.push_back(std::move(i));
  }
  archive_comment_ = d.comment;
  stub_size_ = stub;
  directory_offset_ = d.directory_offset;
}

void TZipBaseArchiver::ReleaseArchive() {
  active_ = false;
  stream_ = nullptr;
  own_stream_.reset();
  items_.clear();
  rollback_.clear();
  update_level_ = 0;
}

void TZipBaseArchiver::Close() {
  if (!active_) {
    ReleaseArchive();
    return;
  }
  // The archive is released whatever happens; the first error of finishing
  // it reaches the caller, since an archive without its directory is broken.
  std::exception_ptr error;
  try {
    if (update_level_ > 0) ApplyUpdate();
    if (static_cast<std::uint64_t>(stream_->Size()) == stub_size_) {
      stream_->SetPosition(static_cast<std::int64_t>(stub_size_));
      WriteCentralDirectory(items_);
    }
  } catch (...) {
    error = std::current_exception();
  }
  ReleaseArchive();
  if (error) std::rethrow_exception(error);
}

// ---- updates ------------------------------------------------------------------

void TZipBaseArchiver::BeginUpdate() {
  if (update_level_ == 0) {
    if (!active_) Open();
    if (open_mode_ != kCreateMode && (open_mode_ & 3) == 0) Raise(kErrReadOnlyArchive);
    for (auto& i : items_) i.Modified = false;
    rollback_ = items_;
  }
  ++update_level_;
}

void TZipBaseArchiver::EndUpdate() {
  if (update_level_ == 1)
    ApplyUpdate();
  else if (update_level_ > 1)
    --update_level_;
}

void TZipBaseArchiver::AbandonUpdate() {
  if (update_level_ > 0) {
    update_level_ = 0;
    // Items queued by the abandoned update had no data written: drop them.
    items_ = rollback_;
  }
}

void TZipBaseArchiver::AddFromMask(const std::u16string& file_mask, int search_attr,
                                   const std::u16string& exclusion_mask) {
  if (!active_) Raise(kErrArchiveNotOpen);
  std::vector<std::u16string> masks{file_mask};
  std::vector<std::u16string> exclusions;
  if (!exclusion_mask.empty()) exclusions.push_back(exclusion_mask);
  if (!archive_path_.empty()) exclusions.push_back(archive_path_);
  BeginUpdate();
  try {
    CollectFiles(masks, search_attr, options_.Recurse, exclusions);
    EndUpdate();
  } catch (...) {
    AbandonUpdate();
    throw;
  }
}

namespace {

// Where each old entry's bytes end: the next entry's header or the directory.
std::map<std::uint64_t, std::uint64_t> entry_spans(const std::vector<TDirItem>& items,
                                                   std::uint64_t directory_offset) {
  std::vector<std::uint64_t> starts;
  for (const auto& i : items) starts.push_back(i.FullLocalHeaderOffset());
  std::sort(starts.begin(), starts.end());
  std::map<std::uint64_t, std::uint64_t> ends;
  for (std::size_t k = 0; k < starts.size(); ++k)
    ends[starts[k]] = k + 1 < starts.size() ? starts[k + 1] : directory_offset;
  return ends;
}

const TDirItem* find_item(const std::vector<TDirItem>& items, const std::u16string& name) {
  for (const auto& i : items)
    if (same_text_ignoring_case(i.Name, name)) return &i;
  return nullptr;
}

void set_offset(TDirItem& item, std::uint64_t offset, TZip64Mode mode) {
  if (offset >= kMax32 || mode == zmAlways) {
    item.LocalHeaderOffset = kMax32;
    item.LocalHeaderOffset64 = offset;
  } else {
    item.LocalHeaderOffset = static_cast<std::uint32_t>(offset);
    item.LocalHeaderOffset64 = offset;
  }
}

}  // namespace

// A temporary copy of the archive from the first changed entry on: the
// source of the entries kept behind it and the backup for a rollback. The
// file is removed when the update ends.
struct TZipBaseArchiver::TailCopy {
  std::unique_ptr<TZipFileStream> stream;
  std::string os_name;
  std::uint64_t base = 0;  // archive offset of the copy's first byte
  ~TailCopy() {
    stream.reset();
    if (!os_name.empty()) ::unlink(os_name.c_str());
  }
};

TZipProcessOperation TZipBaseArchiver::StartUpdateCounters() {
  update_level_ = 0;
  cancel_ = false;
  bytes_done_ = 0;
  bytes_total_ = 0;
  TZipProcessOperation first_op = poAdd;
  bool have_first = false;
  for (const auto& i : items_) {
    if (!i.Modified) continue;
    bytes_total_ += i.FullUncompressedSize();
    if (!have_first) first_op = i.Operation, have_first = true;
  }
  return first_op;
}

std::size_t TZipBaseArchiver::FirstChangedItem() const {
  std::size_t start = 0;
  while (start < items_.size() && start < rollback_.size() && !items_[start].Modified &&
         items_[start].Name == rollback_[start].Name)
    ++start;
  return start;
}

void TZipBaseArchiver::CopyTail(std::size_t start, TailCopy& tail) {
  if (start >= rollback_.size()) return;
  int err = 0;
  tail.stream = create_temp_file(temp_dir_, &tail.os_name, &err);
  if (!tail.stream)
    Raise(kErrCannotCreateTempFile, {ansi(temp_dir_.empty() ? u"FC" : temp_dir_ + u"/FC")});
  const std::uint64_t size = stream_->Size();
  stream_->SetPosition(static_cast<std::int64_t>(tail.base));
  NotifyCopyTempFileProgress(0, ppStart);
  if (!copy_stream(*stream_, *tail.stream, size - tail.base)) Raise(kErrWriteToStream);
  NotifyCopyTempFileProgress(100, ppEnd);
}

TZipBaseArchiver::EntryOutcome TZipBaseArchiver::WriteOrAsk(TDirItem& item) {
  for (;;) {
    const std::uint64_t entry_start = stream_->Position();
    try {
      return WriteEntry(item) ? EntryOutcome::kWritten : EntryOutcome::kAborted;
    } catch (const EZipException& e) {
      const TZipAction action = HandleFileFailure(item.SourceFileName, item.Operation,
                                                  e.NativeError(), e.ErrorCode(), e.what());
      // What the failed attempt wrote is cut off again, so neither a retry
      // nor the next entry leaves stray bytes in the archive.
      stream_->SetPosition(static_cast<std::int64_t>(entry_start));
      TruncateHere();
      if (action == fxaRetry) continue;
      return action == fxaAbort ? EntryOutcome::kAborted : EntryOutcome::kSkipped;
    }
  }
}

void TZipBaseArchiver::CopyOldEntry(TDirItem& item, const TDirItem& old, std::uint64_t end,
                                    TailCopy& tail) {
  const std::uint64_t from = old.FullLocalHeaderOffset();
  const std::uint64_t to = stream_->Position();
  tail.stream->SetPosition(static_cast<std::int64_t>(from - tail.base));
  if (!copy_stream(*tail.stream, *stream_, end - from)) Raise(kErrWriteToStream);
  item = old;
  set_offset(item, to, zip64_mode_);
}

bool TZipBaseArchiver::WriteItems(std::size_t start, TailCopy& tail) {
  const auto spans = entry_spans(rollback_, directory_offset_);
  for (std::size_t k = start; k < items_.size() && !cancel_; ++k) {
    TDirItem& item = items_[k];
    const TDirItem* old = find_item(rollback_, item.Name);
    if (item.Modified) {
      const EntryOutcome outcome = WriteOrAsk(item);
      if (outcome == EntryOutcome::kAborted) return false;
      if (outcome == EntryOutcome::kWritten) continue;
      if (!old) {
        // A skipped new file leaves no entry behind.
        items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(k));
        --k;
        continue;
      }
      // A skipped replacement keeps its old data.
    }
    if (old) CopyOldEntry(item, *old, spans.at(old->FullLocalHeaderOffset()), tail);
  }
  return !cancel_;
}

void TZipBaseArchiver::ApplyUpdate() {
  const TZipProcessOperation first_op = StartUpdateCounters();
  const std::size_t start = FirstChangedItem();
  if (NotifyOverallProgress(0, first_op, ppStart)) {
    items_ = rollback_;
    return;
  }
  const std::uint64_t write_pos = start < rollback_.size()
                                      ? rollback_[start].FullLocalHeaderOffset()
                                  : rollback_.empty() ? stub_size_
                                                      : directory_offset_;
  TailCopy tail;
  tail.base = write_pos;
  CopyTail(start, tail);

  stream_->SetPosition(static_cast<std::int64_t>(write_pos));
  TruncateHere();
  bool completed = false;
  try {
    completed = WriteItems(start, tail);
    if (completed) WriteCentralDirectory(items_);
  } catch (...) {
    RollbackAfter(write_pos, tail.stream.get());
    throw;
  }
  if (!completed) {
    Rollback(write_pos, tail.stream.get());
    return;
  }
  NotifyOverallProgress(100, first_op, ppEnd);
  rollback_ = items_;
  if (options_.FlushBuffers && own_stream_ && !stream_->Flush()) Raise(kErrWriteToStream);
}

void TZipBaseArchiver::Rollback(std::uint64_t write_pos, TZipStream* temp) {
  items_ = rollback_;
  stream_->SetPosition(static_cast<std::int64_t>(write_pos));
  TruncateHere();
  if (temp) {
    temp->SetPosition(0);
    if (!copy_stream(*temp, *stream_, temp->Size())) Raise(kErrWriteToStream);
  } else {
    WriteCentralDirectory(items_);
  }
  if (options_.FlushBuffers && own_stream_ && !stream_->Flush()) Raise(kErrWriteToStream);
}

void TZipBaseArchiver::RollbackAfter(std::uint64_t write_pos, TZipStream* temp) {
  // The error that made the update fail is the one the caller hears about; a
  // rollback that fails as well cannot add to it.
  try {
    Rollback(write_pos, temp);
  } catch (...) {
  }
}

void TZipBaseArchiver::TruncateHere() {
  if (!stream_->Truncate()) Raise(kErrWriteToStream);
}

// ---- entries and the central directory ------------------------------------------

bool TZipBaseArchiver::WriteGuarded(const std::string& data) {
  const std::uint64_t start = stream_->Position();
  for (;;) {
    if (stream_->WriteExactly(data.data(), data.size())) return true;
    if (!RetryAfterDiskFull()) return false;
    stream_->SetPosition(static_cast<std::int64_t>(start));
  }
}

std::unique_ptr<TZipFileStream> TZipBaseArchiver::OpenSource(const TDirItem& item,
                                                             std::uint64_t& size) {
  size = 0;
  if (item.IsFolder) return nullptr;
  // The system's limit, not the 259 characters of the Windows original:
  // a path the system cannot take whole is refused before anything is written.
  if (os_path(item.SourceFileName).size() >= kMaxOsPath)
    Raise(kErrFileNameTooLong, {ansi(item.SourceFileName)});
  int err = 0;
  std::unique_ptr<TZipFileStream> source =
      open_source(item.SourceFileName, options_.ShareMode, &err);
  if (!source) Raise(kErrCannotOpenSource, {ansi(item.SourceFileName)});
  size = source->Size();
  return source;
}

LocalHeader TZipBaseArchiver::PlanEntry(TDirItem& item, std::uint64_t offset, std::uint64_t size,
                                        std::size_t name_length, bool& big) {
  item.Zip64 = offset >= kMax32 || zip64_mode_ == zmAlways;
  set_offset(item, offset, zip64_mode_);
  big = size >= kMax32 || zip64_mode_ == zmAlways;
  if (big) item.Zip64 = true;
  const std::uint16_t version =
      item.Zip64 ? kVersionZip64 : (options_.OEMFileNames ? kVersionOem : kVersionAnsi);
  item.VersionMadeBy = item.VersionNeeded = version;
  if (item.Zip64 && zip64_mode_ == zmDisabled)
    Raise(kErrZip64NotEnabled, {ansi(item.SourceFileName)});

  // The CRC-32 and compressed size are not known yet: the header is written
  // again once the data is.
  LocalHeader h;
  h.version_needed = version;
  h.flags = item.Flags;
  h.method = item.Method;
  h.mod_time = item.ModTime;
  h.mod_date = item.ModDate;
  h.crc32 = kMax32;
  h.compressed_size = 0;
  h.uncompressed_size = big ? kMax32 : static_cast<std::uint32_t>(size);
  h.name_length = static_cast<std::uint16_t>(name_length);
  h.extra_length = big ? kZip64LocalExtraSize : 0;
  return h;
}

void TZipBaseArchiver::RecordSizes(TDirItem& item, const CompressResult& r, bool had_source,
                                   bool big) {
  item.Crc32 = r.crc32;
  if (had_source && r.method == kMethodStored) item.Method = item.MethodInUse = kMethodStored;
  const bool big_c = r.compressed_size >= kMax32 || zip64_mode_ == zmAlways;
  const bool big_u = r.uncompressed_size >= kMax32 || zip64_mode_ == zmAlways;
  item.CompressedSize = big_c ? kMax32 : static_cast<std::uint32_t>(r.compressed_size);
  item.CompressedSize64 = r.compressed_size;
  item.UncompressedSize = big_u ? kMax32 : static_cast<std::uint32_t>(r.uncompressed_size);
  item.UncompressedSize64 = r.uncompressed_size;
  // The local header has room for 64-bit sizes only when it was reserved
  // up front; a size that outgrew 32 bits after all cannot be written.
  if (((big_c || big_u) && !big) || (big_c && zip64_mode_ == zmDisabled))
    Raise(kErrSizeOutgrewZip64, {ansi(item.SourceFileName)});
  if (big_c || big_u) item.Zip64 = true;
}

bool TZipBaseArchiver::RewriteLocalHeader(const TDirItem& item, LocalHeader h, std::uint64_t offset,
                                          const CompressResult& r, bool big) {
  const std::uint64_t end = stream_->Position();
  h.crc32 = item.Crc32;
  // A local header with the Zip64 field marks both sizes and leaves their
  // values to it (APPNOTE 4.5.3); readers such as 7z reject a header that
  // gives one size beside the field.
  h.compressed_size = big ? kMax32 : item.CompressedSize;
  h.uncompressed_size = big ? kMax32 : item.UncompressedSize;
  h.method = item.Method;
  stream_->SetPosition(static_cast<std::int64_t>(offset));
  if (!WriteGuarded(local_header_bytes(h))) return false;
  if (big) {
    stream_->SetPosition(static_cast<std::int64_t>(offset + kLocalHeaderSize + h.name_length));
    if (!WriteGuarded(local_zip64_extra(r.uncompressed_size, r.compressed_size))) return false;
  }
  stream_->SetPosition(static_cast<std::int64_t>(end));
  return true;
}

bool TZipBaseArchiver::WriteEntry(TDirItem& item) {
  current_name_ = item.Name;
  current_op_ = item.Operation;
  if (NotifyFileProgress(item.Name, 0, item.Operation, ppStart)) cancel_ = true;
  if (cancel_) return false;

  const EncodedName enc = EncodeEntryName(item.Name, options_.OEMFileNames);
  item.Flags = static_cast<std::uint16_t>((item.Flags & ~kFlagUtf8) | (enc.utf8 ? kFlagUtf8 : 0));
  std::uint64_t size = 0;
  std::unique_ptr<TZipFileStream> source = OpenSource(item, size);

  const std::uint64_t offset = stream_->Position();
  bool big = false;
  const LocalHeader h = PlanEntry(item, offset, size, enc.bytes.size(), big);
  std::string head = local_header_bytes(h) + enc.bytes;
  if (big) head += std::string(kZip64LocalExtraSize, '\0');  // room for the Zip64 field
  if (!WriteGuarded(head)) return false;

  CompressResult r;
  r.ok = true;
  if (source) {
    r = CompressEntryData(*source, size, *stream_, item.CompressionMode, item.MethodInUse, *this);
    if (!r.ok) return false;
  }
  RecordSizes(item, r, source != nullptr, big);
  if (!RewriteLocalHeader(item, h, offset, r, big)) return false;
  source.reset();
  NotifyFileProgress(item.Name, 100, item.Operation, ppEnd);
  return true;
}

void TZipBaseArchiver::WriteCentralDirectory(const std::vector<TDirItem>& items_in) {
  std::vector<TDirItem> items = items_in;
  TruncateHere();
  const std::uint64_t start = stream_->Position();
  std::string out;
  for (TDirItem& i : items) {
    std::string zip64 = central_zip64_extra(i);
    std::string others;
    for (const auto& x : i.ExtraFields) {
      if (x.id == kZip64ExtraId) continue;
      put_u16(others, x.id);
      put_u16(others, static_cast<std::uint16_t>(x.data.size()));
      others += x.data;
    }
    EncodedName enc = EncodeEntryName(i.Name, options_.OEMFileNames);
    i.Flags = static_cast<std::uint16_t>((i.Flags & ~kFlagUtf8) | (enc.utf8 ? kFlagUtf8 : 0));
    i.NameLength = static_cast<std::uint16_t>(enc.bytes.size());
    i.ExtraLength = static_cast<std::uint16_t>(zip64.size() + others.size());
    i.CommentLength = static_cast<std::uint16_t>(i.Comment.size());
    out += central_header_bytes(i) + enc.bytes + zip64 + others + i.Comment;
    if (out.size() >= (1u << 20)) {
      if (!stream_->WriteExactly(out.data(), out.size())) Raise(kErrWriteToStream);
      out.clear();
    }
  }
  if (!stream_->WriteExactly(out.data(), out.size())) Raise(kErrWriteToStream);
  const std::uint64_t after = stream_->Position();
  EndRecord end;
  end.entries = items.size();
  end.directory_size = after - start;
  end.directory_offset = start;
  end.comment = archive_comment_;
  std::string tail;
  if (needs_zip64_end(after, items.size()))
    tail = zip64_end_record_bytes(end) + zip64_locator_bytes(after);
  tail += end_record_bytes(end);
  if (!stream_->WriteExactly(tail.data(), tail.size())) Raise(kErrWriteToStream);
  directory_offset_ = start;
}

}  // namespace zip
