// The archiver component: creates a ZIP archive, adds the files a mask finds
// as deflated entries in one update, and writes the central directory.
//
// Flow: SetFileName → Open(0xFFFF) → SetBaseDir → AddFromMask (the archive is
// complete and flushed on disk when it returns) → Close. Updates nest with
// BeginUpdate / EndUpdate; only the outermost EndUpdate writes, and a failed
// or cancelled update is rolled back. Per-file failures go to
// OnProcessFileFailure or, unassigned, to the operator's Abort/Retry/Ignore
// question of platform::user_interface(). An instance is used from one thread
// (the user-interface thread); collecting files is serialised across all
// archivers of the process.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "zip/compression.h"
#include "zip/zip_errors.h"
#include "zip/zip_records.h"
#include "zip/zip_stream.h"
#include "zip/zip_types.h"

namespace zip {

struct FoundFile;

constexpr std::uint16_t kCreateMode = 0xFFFF;
constexpr std::uint16_t kOpenReadWriteDenyWrite = 0x22;
constexpr std::uint16_t kOpenReadShareAll = 0x40;

class TZipBaseArchiver : protected CompressionHost {
 public:
  using Sender = TZipBaseArchiver*;
  using TZipOverallProgressEvent =
      std::function<void(Sender, double Progress, TZipProcessOperation Operation,
                         TZipProgressPhase ProgressPhase, bool& Cancel)>;
  using TZipFileProgressEvent = std::function<void(Sender, const std::u16string& FileName,
                                                   double Progress, TZipProcessOperation Operation,
                                                   TZipProgressPhase ProgressPhase, bool& Cancel)>;
  using TZipCopyTempFileProgressEvent =
      std::function<void(Sender, double Progress, TZipProgressPhase ProgressPhase, bool& Cancel)>;
  using TZipConfirmOverwriteEvent = std::function<void(
      Sender, const std::u16string& SourceFileName, std::u16string& DestFileName, bool& Confirm)>;
  using TZipConfirmProcessFileEvent = std::function<void(
      Sender, const std::u16string& FileName, TZipProcessOperation Operation, bool& Confirm)>;
  using TNotifyEvent = std::function<void(Sender)>;
  using TZipPasswordEvent = std::function<void(Sender, const std::u16string& FileName,
                                               std::string& NewPassword, bool& SkipFile)>;
  using TZipProcessFileFailureEvent = std::function<void(
      Sender, const std::u16string& FileName, TZipProcessOperation Operation, int NativeError,
      int ErrorCode, const std::string& ErrorMessage, TZipAction& Action)>;
  using TZipRequestVolumeEvent =
      std::function<void(Sender, int VolumeNumber, std::u16string& VolumeFileName, bool& Cancel)>;
  using TZipRequestEndVolumeEvent =
      std::function<void(Sender, std::u16string& VolumeFileName, bool& Cancel)>;
  using TZipDiskFullEvent = std::function<void(Sender, int VolumeNumber,
                                               const std::u16string& VolumeFileName, bool& Cancel)>;
  using TZipStoreFileEvent =
      std::function<void(Sender, std::u16string& FileName, std::uint32_t& FileAttr,
                         std::string& Comment, const std::u16string& OriginalFileName)>;
  using TZipExtractFileEvent = std::function<void(
      Sender, std::u16string& FileName, std::uint32_t& FileAttr, const std::string& Comment)>;

  TZipBaseArchiver();
  virtual ~TZipBaseArchiver();
  TZipBaseArchiver(const TZipBaseArchiver&) = delete;
  TZipBaseArchiver& operator=(const TZipBaseArchiver&) = delete;

  // Component name; put in front of the messages of EZipException.
  const std::string& Name() const { return name_; }
  void SetName(const std::string& v) { name_ = v; }

  const std::u16string& FileName() const { return file_name_; }
  void SetFileName(const std::u16string& v) { file_name_ = v; }
  const std::u16string& BaseDir() const { return base_dir_; }
  void SetBaseDir(const std::u16string& v) { base_dir_ = v; }
  const std::u16string& TempDir() const { return temp_dir_; }
  void SetTempDir(const std::u16string& v) { temp_dir_ = v; }

  TZipCompressionLevel CompressionLevel() const { return compression_level_; }
  void SetCompressionLevel(TZipCompressionLevel v);
  int CompressionMode() const { return compression_mode_; }
  // Native error 5 above 9; nothing changes then.
  void SetCompressionMode(int v);
  std::uint16_t MethodInUse() const { return method_in_use_; }

  const std::string& Password() const { return password_; }
  virtual void SetPassword(const std::string& v) { password_ = v; }

  TZipOptions& Options() { return options_; }
  const TZipOptions& Options() const { return options_; }
  std::vector<std::u16string>& FileMasks() { return file_masks_; }
  std::vector<std::u16string>& ExclusionMasks() { return exclusion_masks_; }
  std::vector<std::u16string>& NoCompressionMasks() { return no_compression_masks_; }

  bool InMemory() const { return in_memory_; }
  void SetInMemory(bool v) { in_memory_ = v; }
  TZipSpanningMode SpanningMode() const { return spanning_mode_; }
  // Refused with "Cannot set spanning mode on open archive" while open.
  void SetSpanningMode(TZipSpanningMode v);
  TZipSpanningOptions& SpanningOptions() { return spanning_options_; }
  const std::u16string& SFXStub() const { return sfx_stub_; }
  void SetSFXStub(const std::u16string& v) { sfx_stub_ = v; }
  bool ExtractCorruptedFiles() const { return extract_corrupted_files_; }
  void SetExtractCorruptedFiles(bool v) { extract_corrupted_files_ = v; }
  std::u16string CurrentVersion() const { return u"1.0.0"; }
  void SetCurrentVersion(const std::u16string&) {}

  bool Active() const { return active_; }
  // Entries of the open archive, in order.
  const std::vector<TDirItem>& Items() const { return items_; }

  // Opens (mode 0xFFFF: creates, truncating) the archive named by FileName.
  // An existing archive that cannot be opened or read: EFOpenError with the
  // system's reason; one whose directory does not parse: native error 48.
  void Open(std::uint16_t mode);
  // Existing file: read-write (0x22), or read-only (0x40) when it cannot be
  // written; missing file: create.
  void Open();
  // Creates an empty archive on a stream the caller owns; it must outlive
  // Close.
  void Open(TZipStream* stream);

  void AddFromMask(const std::u16string& file_mask, int search_attr = kDefaultSearchAttr,
                   const std::u16string& exclusion_mask = u"");
  void BeginUpdate();
  void EndUpdate();
  void AbandonUpdate();
  // Finishes and releases the archive; raises the first error of finishing
  // it (a pending update, the directory of an empty archive) after the
  // release. The destructor closes without raising.
  void Close();

  // Events (unassigned: the defaults described beside each Notify… below).
  TZipOverallProgressEvent OnOverallProgress;
  TZipFileProgressEvent OnFileProgress;
  TZipCopyTempFileProgressEvent OnCopyTempFileProgress;
  TZipConfirmOverwriteEvent OnConfirmOverwrite;
  TZipConfirmProcessFileEvent OnConfirmProcessFile;
  TNotifyEvent AfterOpen;
  TZipPasswordEvent OnPassword;
  TZipProcessFileFailureEvent OnProcessFileFailure;
  TZipRequestVolumeEvent OnRequestBlankVolume, OnRequestMiddleVolume;
  TZipRequestEndVolumeEvent OnRequestFirstVolume, OnRequestLastVolume;
  TZipDiskFullEvent OnDiskFull;
  TZipStoreFileEvent OnStoreFile;
  TZipExtractFileEvent OnExtractFile;

 protected:
  // 0xFFFF here; the standard archiver derives 8 or 0 from CompressionMode.
  virtual void UpdateMethodInUse() { method_in_use_ = 0xFFFF; }
  // Unassigned: never cancel.
  virtual bool NotifyOverallProgress(double progress, TZipProcessOperation op,
                                     TZipProgressPhase phase);
  virtual bool NotifyFileProgress(const std::u16string& name, double progress,
                                  TZipProcessOperation op, TZipProgressPhase phase);
  virtual bool NotifyCopyTempFileProgress(double progress, TZipProgressPhase phase);
  // Unassigned: confirm (there is no yes/no question on this platform's screen interface).
  virtual bool ConfirmOverwrite(const std::u16string& source, std::u16string& dest);
  // Unassigned: confirm.
  virtual bool ConfirmProcessFile(const std::u16string& name, TZipProcessOperation op);
  // Unassigned: the question described in the header comment.
  virtual TZipAction HandleFileFailure(const std::u16string& name, TZipProcessOperation op,
                                       int native_error, int error_code,
                                       const std::string& message);
  // Unassigned: native error 65. True to retry the write.
  virtual bool HandleDiskFull(int volume_number, const std::u16string& volume_file_name);
  virtual void NotifyStoreFile(std::u16string& name, std::uint32_t& attr, std::string& comment,
                               const std::u16string& original);

  [[noreturn]] void Raise(int native_error, const std::vector<MessageArg>& args = {}) const;

  std::uint16_t method_in_use_ = 0xFFFF;
  TZip64Mode zip64_mode_ = zmAuto;
  bool unicode_filenames_ = false;
  TZipCryptoAlgorithm encryption_method_ = caPkzipClassic;

 private:
  // CompressionHost
  bool ProgressCancelled(std::uint64_t bytes_read, std::uint64_t source_size) override;
  bool RetryAfterDiskFull() override;
  bool UpdateCancelled() const override { return cancel_; }
  void AddBytesDone(std::uint64_t bytes) override { bytes_done_ += bytes; }
  void RaiseError(int native_error, const std::vector<MessageArg>& args) override {
    Raise(native_error, args);
  }

  void ReadDirectory();
  [[noreturn]] void RaiseReadError() const;
  void CollectFiles(const std::vector<std::u16string>& masks, int search_attr, bool recurse,
                    const std::vector<std::u16string>& exclusions);
  void SearchFolder(const std::u16string& folder, const std::u16string& pattern, int search_attr,
                    bool recurse, const std::vector<std::u16string>& exclusions);
  void OfferFile(const FoundFile& found, const std::vector<std::u16string>& exclusions);
  bool MatchesAnyNoCompression(const std::u16string& full_path) const;
  // Commits the queued items: the archive is rewritten from the first change
  // on, from the new sources and the old entries' bytes, then the directory.
  void ApplyUpdate();
  struct TailCopy;
  enum class EntryOutcome { kWritten, kSkipped, kAborted };
  // Resets the progress counters; the operation of the first changed item.
  TZipProcessOperation StartUpdateCounters();
  // Index of the first item that differs from the archive on disk.
  std::size_t FirstChangedItem() const;
  void CopyTail(std::size_t start, TailCopy& tail);
  // False when the update was aborted or cancelled.
  bool WriteItems(std::size_t start, TailCopy& tail);
  // Writes one item, asking what to do after each failure.
  EntryOutcome WriteOrAsk(TDirItem& item);
  // Copies an old entry's bytes (up to `end`) behind what is written.
  void CopyOldEntry(TDirItem& item, const TDirItem& old, std::uint64_t end, TailCopy& tail);
  // Writes one entry at the stream position: header, data, final header.
  // False when cancelled or given up on a full disk.
  bool WriteEntry(TDirItem& item);
  // The item's source file (none for a folder) and its size.
  std::unique_ptr<TZipFileStream> OpenSource(const TDirItem& item, std::uint64_t& size);
  // Decides the Zip64 form and version; the first image of the local header.
  LocalHeader PlanEntry(TDirItem& item, std::uint64_t offset, std::uint64_t size,
                        std::size_t name_length, bool& big);
  // Puts the compressor's results into the item.
  void RecordSizes(TDirItem& item, const CompressResult& r, bool had_source, bool big);
  // Writes the local header again with the CRC-32 and sizes.
  bool RewriteLocalHeader(const TDirItem& item, LocalHeader h, std::uint64_t offset,
                          const CompressResult& r, bool big);
  // Writes all of data at the stream position, with the disk-full decision;
  // false when given up.
  bool WriteGuarded(const std::string& data);
  void WriteCentralDirectory(const std::vector<TDirItem>& items);
  // Puts the archive back as it was before the update; raises when it cannot.
  void Rollback(std::uint64_t write_pos, TZipStream* temp);
  // Rollback while another error is on its way to the caller.
  void RollbackAfter(std::uint64_t write_pos, TZipStream* temp);
  // Cuts the archive at the stream position; native error 46 when refused.
  void TruncateHere();
  void ReleaseArchive();

  std::string name_;
  std::u16string file_name_, base_dir_, temp_dir_, sfx_stub_;
  TZipCompressionLevel compression_level_ = clFastest;
  int compression_mode_ = 1;
  std::string password_;
  TZipOptions options_;
  std::vector<std::u16string> file_masks_, exclusion_masks_, no_compression_masks_;
  bool in_memory_ = false;
  TZipSpanningMode spanning_mode_ = smNone;
  TZipSpanningOptions spanning_options_;
  bool extract_corrupted_files_ = false;

  // Open archive.
  bool active_ = false;
  std::uint16_t open_mode_ = 0;
  std::unique_ptr<TZipStream> own_stream_;
  TZipStream* stream_ = nullptr;
  std::u16string archive_path_;  // absolute; empty for a caller's stream
  // Directory.
  std::vector<TDirItem> items_, rollback_;
  std::string archive_comment_;
  std::uint64_t stub_size_ = 0;
  std::uint64_t directory_offset_ = 0;  // of the central directory on disk
  // Update in progress.
  int update_level_ = 0;
  bool cancel_ = false;
  std::uint64_t bytes_done_ = 0, bytes_total_ = 0;
  std::u16string work_base_;     // ends in '/'
  std::u16string current_name_;  // entry being written, for progress
  TZipProcessOperation current_op_ = poAdd;
};

class TZipArchiver : public TZipBaseArchiver {
 public:
  TZipArchiver();
  TZip64Mode Zip64Mode() const { return zip64_mode_; }
  void SetZip64Mode(TZip64Mode v) { zip64_mode_ = v; }
  bool UnicodeFilenames() const { return unicode_filenames_; }
  void SetUnicodeFilenames(bool v) { unicode_filenames_ = v; }
  TZipCryptoAlgorithm EncryptionMethod() const { return encryption_method_; }
  void SetEncryptionMethod(TZipCryptoAlgorithm v) { encryption_method_ = v; }
  void SetPassword(const std::string& v) override { TZipBaseArchiver::SetPassword(v); }

 protected:
  void UpdateMethodInUse() override {
    method_in_use_ = CompressionMode() != 0 ? kMethodDeflate : kMethodStored;
  }
};

}  // namespace zip
