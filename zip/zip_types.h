// Enumerations and settings groups shared by the archiver, its entry writer
// and the compressor.
#pragma once

#include <cstdint>

namespace zip {

enum TZipCompressionLevel { clNone, clFastest, clNormal, clMax };
enum TZipSpanningMode { smNone, smSpanning, smSplitting };
enum TZip64Mode { zmDisabled, zmAuto, zmAlways };
enum TZipStorePathMode { spNoPath, spRelativePath, spFullPath, spFullPathWithDrive };
enum TZipFileShareMode {
  smShareCompat,
  smShareExclusive,
  smShareDenyWrite,
  smShareDenyRead,
  smShareDenyNone
};
enum TZipOverwriteMode { omAlways, omNever, omIfNewer, omIfOlder, omPrompt };
enum TZipCryptoAlgorithm { caPkzipClassic, caAES_128, caAES_192, caAES_256 };
enum TZipProcessOperation {
  poAdd,
  poMove,
  poDelete,
  poUpdate,
  poExtract,
  poTest,
  poRename,
  poChangeAttr,
  poChangeComment,
  poMakeSFX,
  poMerge
};
enum TZipProgressPhase { ppStart, ppProcess, ppEnd };
enum TZipAction { fxaRetry, fxaIgnore, fxaAbort };
enum TZipVolumeSize { vsAutoDetect };

// DOS attribute bits as a Windows user sees them.
constexpr std::uint32_t faReadOnly = 0x01;
constexpr std::uint32_t faHidden = 0x02;
constexpr std::uint32_t faSysFile = 0x04;
constexpr std::uint32_t faVolumeID = 0x08;
constexpr std::uint32_t faDirectory = 0x10;
constexpr std::uint32_t faArchive = 0x20;
constexpr std::uint32_t faNormal = 0x80;
// The default search attributes: every bit but the ones of devices and temporary files.
constexpr int kDefaultSearchAttr = 10431;  // 0x28BF

struct TZipOptions {
  TZipStorePathMode StorePath = spRelativePath;
  bool Recurse = true;
  TZipFileShareMode ShareMode = smShareDenyNone;
  TZipOverwriteMode OverwriteMode = omAlways;
  bool CreateDirs = true;       // extraction only
  bool ReplaceReadOnly = true;  // extraction only
  bool SetAttributes = true;    // extraction only
  int SearchAttr = kDefaultSearchAttr;
  bool FlushBuffers = true;
  bool OEMFileNames = true;
};

struct TZipSpanningOptions {
  bool AdvancedNaming = false;
  TZipVolumeSize VolumeSize = vsAutoDetect;
};

}  // namespace zip
