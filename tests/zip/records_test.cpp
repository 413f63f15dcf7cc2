// Every ZIP record the archiver writes reads back through its parser with the
// same values: small, boundary and marker values, and damaged images refused.
#include <gtest/gtest.h>

#include <string>

#include "zip/zip_records.h"

using namespace zip;

TEST(Records, LocalHeaderRoundTrip) {
  const TLocalHeader cases[] = {
      {20, kFlagUtf8, 8, 0x6B3C, 0x5A21, 0xCBF43926u, 1234, 99999, 12, 0},
      {45, 0, 0, 0, 0, kMax32, kMax32, kMax32, 0xFFFF, kZip64LocalExtraSize},
      {0x0B14, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0, 0, 0, 1, 0xFFFF},
  };
  for (const TLocalHeader& h : cases) {
    SCOPED_TRACE(h.VersionNeeded);
    const std::string bytes = local_header_bytes(h);
    ASSERT_EQ(bytes.size(), kLocalHeaderSize);
    const auto back = parse_local_header(bytes + "name");
    ASSERT_TRUE(back);
    EXPECT_EQ(back->VersionNeeded, h.VersionNeeded);
    EXPECT_EQ(back->Flags, h.Flags);
    EXPECT_EQ(back->Method, h.Method);
    EXPECT_EQ(back->ModTime, h.ModTime);
    EXPECT_EQ(back->ModDate, h.ModDate);
    EXPECT_EQ(back->Crc32, h.Crc32);
    EXPECT_EQ(back->CompressedSize, h.CompressedSize);
    EXPECT_EQ(back->UncompressedSize, h.UncompressedSize);
    EXPECT_EQ(back->NameLength, h.NameLength);
    EXPECT_EQ(back->ExtraLength, h.ExtraLength);
    EXPECT_FALSE(parse_local_header(bytes.substr(0, kLocalHeaderSize - 1)));
    EXPECT_FALSE(parse_local_header("PK\x01\x02" + bytes.substr(4)));
  }
}

TEST(Records, CentralHeaderRoundTrip) {
  struct Case {
    std::uint16_t made_by, flags;
    std::uint32_t crc, csize, usize, attr, offset;
    std::uint16_t disk;
  } cases[] = {
      {0x0B14, kFlagUtf8, 0x12345678u, 10, 20, 0x20, 0, 0},
      {45, 0, 0, kMax32, kMax32, 0x10, kMax32, kMax16},
      {20, 0xFFFF, kMax32, 0, 0, kMax32, 7, 3},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.made_by);
    TDirItem i;
    i.VersionMadeBy = k.made_by;
    i.VersionNeeded = 20;
    i.Flags = k.flags;
    i.Method = 8;
    i.ModTime = 0x1234;
    i.ModDate = 0x5678;
    i.Crc32 = k.crc;
    i.CompressedSize = k.csize;
    i.UncompressedSize = k.usize;
    i.NameLength = 5;
    i.ExtraLength = 28;
    i.CommentLength = 2;
    i.DiskNumberStart = k.disk;
    i.InternalAttributes = 1;
    i.ExternalAttributes = k.attr;
    i.LocalHeaderOffset = k.offset;
    const std::string bytes = central_header_bytes(i);
    ASSERT_EQ(bytes.size(), kCentralHeaderSize);
    const auto back = parse_central_header(bytes);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->VersionMadeBy, i.VersionMadeBy);
    EXPECT_EQ(back->VersionNeeded, i.VersionNeeded);
    EXPECT_EQ(back->Flags, i.Flags);
    EXPECT_EQ(back->Method, i.Method);
    EXPECT_EQ(back->ModTime, i.ModTime);
    EXPECT_EQ(back->ModDate, i.ModDate);
    EXPECT_EQ(back->Crc32, i.Crc32);
    EXPECT_EQ(back->CompressedSize, i.CompressedSize);
    EXPECT_EQ(back->UncompressedSize, i.UncompressedSize);
    EXPECT_EQ(back->NameLength, i.NameLength);
    EXPECT_EQ(back->ExtraLength, i.ExtraLength);
    EXPECT_EQ(back->CommentLength, i.CommentLength);
    EXPECT_EQ(back->DiskNumberStart, i.DiskNumberStart);
    EXPECT_EQ(back->InternalAttributes, i.InternalAttributes);
    EXPECT_EQ(back->ExternalAttributes, i.ExternalAttributes);
    EXPECT_EQ(back->LocalHeaderOffset, i.LocalHeaderOffset);
    EXPECT_FALSE(parse_central_header(bytes.substr(0, kCentralHeaderSize - 1)));
    EXPECT_FALSE(parse_central_header(local_header_bytes({}) + bytes));

    // The Zip64 extra field carries exactly the values marked in the header.
    i.UncompressedSize64 = 0x100000001ull;
    i.CompressedSize64 = 0x200000002ull;
    i.LocalHeaderOffset64 = 0x300000003ull;
    const std::string extra = central_zip64_extra(i) + std::string("\x0A\x00\x02\x00xy", 6);
    TZip64Values v;
    ASSERT_EQ(parse_zip64_extra(extra, k.usize == kMax32, k.csize == kMax32, k.offset == kMax32, v),
              ExtraProblem::kNone);
    EXPECT_EQ(v.Present, k.usize == kMax32);
    if (v.Present) {
      EXPECT_EQ(v.UncompressedSize, i.UncompressedSize64);
      EXPECT_EQ(v.CompressedSize, i.CompressedSize64);
      EXPECT_EQ(v.LocalHeaderOffset, i.LocalHeaderOffset64);
    }
    const auto others = other_extra_fields(extra);
    ASSERT_EQ(others.size(), 1u);
    EXPECT_EQ(others[0].Id, 10);
    EXPECT_EQ(others[0].Data, "xy");
  }
}

TEST(Records, LocalZip64ExtraRoundTripAndDamage) {
  const std::string extra = local_zip64_extra(0x123456789ull, 0xFFFFFFFFull);
  ASSERT_EQ(extra.size(), kZip64LocalExtraSize);
  TZip64Values v;
  ASSERT_EQ(parse_zip64_extra(extra, true, true, false, v), ExtraProblem::kNone);
  EXPECT_TRUE(v.Present);
  EXPECT_EQ(v.UncompressedSize, 0x123456789ull);
  EXPECT_EQ(v.CompressedSize, 0xFFFFFFFFull);
  EXPECT_EQ(parse_zip64_extra(extra.substr(0, 10), true, false, false, v),
            ExtraProblem::kFieldPastEnd);
  EXPECT_EQ(parse_zip64_extra(extra, true, true, true, v), ExtraProblem::kZip64TooShort);
}

TEST(Records, EndRecordsRoundTrip) {
  const TEndRecord small[] = {
      {0, 0, 0, ""}, {1, 58, 1234, "yorum"}, {0xFFFE, 0xFFFFFFFEull, 0xFFFFFFFEull, "c"}};
  for (const TEndRecord& e : small) {
    SCOPED_TRACE(e.Entries);
    const std::string bytes = end_record_bytes(e);
    const auto back = parse_end_record(bytes);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->Entries, e.Entries);
    EXPECT_EQ(back->DirectorySize, e.DirectorySize);
    EXPECT_EQ(back->DirectoryOffset, e.DirectoryOffset);
    EXPECT_EQ(back->Comment, e.Comment);
    // The comment must run to the end: a longer or shorter image is no record.
    EXPECT_FALSE(parse_end_record(bytes + "x"));
    EXPECT_FALSE(parse_end_record(bytes.substr(0, bytes.size() - 1)));
  }
  // Large values: the end record holds the markers, the Zip64 record the values.
  const TEndRecord large = {0x10000, 0x100000000ull, 0x123456789ull, ""};
  ASSERT_TRUE(needs_zip64_end(large.DirectoryOffset + large.DirectorySize, large.Entries));
  const auto marked = parse_end_record(end_record_bytes(large));
  ASSERT_TRUE(marked);
  EXPECT_EQ(marked->Entries, kMax16);
  EXPECT_EQ(marked->DirectorySize, kMax32);
  EXPECT_EQ(marked->DirectoryOffset, kMax32);
  const std::string z = zip64_end_record_bytes(large);
  ASSERT_EQ(z.size(), kZip64EndSize);
  const auto back = parse_zip64_end_record(z);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->Entries, large.Entries);
  EXPECT_EQ(back->DirectorySize, large.DirectorySize);
  EXPECT_EQ(back->DirectoryOffset, large.DirectoryOffset);
  EXPECT_FALSE(parse_zip64_end_record(z.substr(0, kZip64EndSize - 1)));

  const std::string l = zip64_locator_bytes(0x223456789ull);
  ASSERT_EQ(l.size(), kZip64LocatorSize);
  const auto locator = parse_zip64_locator(l);
  ASSERT_TRUE(locator);
  EXPECT_EQ(locator->EndRecordOffset, 0x223456789ull);
  EXPECT_EQ(locator->TotalDisks, 1u);
  EXPECT_FALSE(parse_zip64_locator(z));
}
