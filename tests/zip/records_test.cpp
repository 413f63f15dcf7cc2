// Every ZIP record the archiver writes reads back through its parser with the
// same values: small, boundary and marker values, and damaged images refused.
#include <gtest/gtest.h>

#include <string>

#include "zip/zip_records.h"

using namespace zip;

TEST(Records, LocalHeaderRoundTrip) {
  const LocalHeader cases[] = {
      {20, kFlagUtf8, 8, 0x6B3C, 0x5A21, 0xCBF43926u, 1234, 99999, 12, 0},
      {45, 0, 0, 0, 0, kMax32, kMax32, kMax32, 0xFFFF, kZip64LocalExtraSize},
      {0x0B14, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0, 0, 0, 1, 0xFFFF},
  };
  for (const LocalHeader& h : cases) {
    SCOPED_TRACE(h.version_needed);
    const std::string bytes = local_header_bytes(h);
    ASSERT_EQ(bytes.size(), kLocalHeaderSize);
    const auto back = parse_local_header(bytes + "name");
    ASSERT_TRUE(back);
    EXPECT_EQ(back->version_needed, h.version_needed);
    EXPECT_EQ(back->flags, h.flags);
    EXPECT_EQ(back->method, h.method);
    EXPECT_EQ(back->mod_time, h.mod_time);
    EXPECT_EQ(back->mod_date, h.mod_date);
    EXPECT_EQ(back->crc32, h.crc32);
    EXPECT_EQ(back->compressed_size, h.compressed_size);
    EXPECT_EQ(back->uncompressed_size, h.uncompressed_size);
    EXPECT_EQ(back->name_length, h.name_length);
    EXPECT_EQ(back->extra_length, h.extra_length);
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
    Zip64Values v;
    ASSERT_EQ(parse_zip64_extra(extra, k.usize == kMax32, k.csize == kMax32, k.offset == kMax32, v),
              ExtraProblem::kNone);
    EXPECT_EQ(v.present, k.usize == kMax32);
    if (v.present) {
      EXPECT_EQ(v.uncompressed_size, i.UncompressedSize64);
      EXPECT_EQ(v.compressed_size, i.CompressedSize64);
      EXPECT_EQ(v.local_header_offset, i.LocalHeaderOffset64);
    }
    const auto others = other_extra_fields(extra);
    ASSERT_EQ(others.size(), 1u);
    EXPECT_EQ(others[0].id, 10);
    EXPECT_EQ(others[0].data, "xy");
  }
}

TEST(Records, LocalZip64ExtraRoundTripAndDamage) {
  const std::string extra = local_zip64_extra(0x123456789ull, 0xFFFFFFFFull);
  ASSERT_EQ(extra.size(), kZip64LocalExtraSize);
  Zip64Values v;
  ASSERT_EQ(parse_zip64_extra(extra, true, true, false, v), ExtraProblem::kNone);
  EXPECT_TRUE(v.present);
  EXPECT_EQ(v.uncompressed_size, 0x123456789ull);
  EXPECT_EQ(v.compressed_size, 0xFFFFFFFFull);
  EXPECT_EQ(parse_zip64_extra(extra.substr(0, 10), true, false, false, v),
            ExtraProblem::kFieldPastEnd);
  EXPECT_EQ(parse_zip64_extra(extra, true, true, true, v), ExtraProblem::kZip64TooShort);
}

TEST(Records, EndRecordsRoundTrip) {
  const EndRecord small[] = {
      {0, 0, 0, ""}, {1, 58, 1234, "yorum"}, {0xFFFE, 0xFFFFFFFEull, 0xFFFFFFFEull, "c"}};
  for (const EndRecord& e : small) {
    SCOPED_TRACE(e.entries);
    const std::string bytes = end_record_bytes(e);
    const auto back = parse_end_record(bytes);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->entries, e.entries);
    EXPECT_EQ(back->directory_size, e.directory_size);
    EXPECT_EQ(back->directory_offset, e.directory_offset);
    EXPECT_EQ(back->comment, e.comment);
    // The comment must run to the end: a longer or shorter image is no record.
    EXPECT_FALSE(parse_end_record(bytes + "x"));
    EXPECT_FALSE(parse_end_record(bytes.substr(0, bytes.size() - 1)));
  }
  // Large values: the end record holds the markers, the Zip64 record the values.
  const EndRecord large = {0x10000, 0x100000000ull, 0x123456789ull, ""};
  ASSERT_TRUE(needs_zip64_end(large.directory_offset + large.directory_size, large.entries));
  const auto marked = parse_end_record(end_record_bytes(large));
  ASSERT_TRUE(marked);
  EXPECT_EQ(marked->entries, kMax16);
  EXPECT_EQ(marked->directory_size, kMax32);
  EXPECT_EQ(marked->directory_offset, kMax32);
  const std::string z = zip64_end_record_bytes(large);
  ASSERT_EQ(z.size(), kZip64EndSize);
  const auto back = parse_zip64_end_record(z);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->entries, large.entries);
  EXPECT_EQ(back->directory_size, large.directory_size);
  EXPECT_EQ(back->directory_offset, large.directory_offset);
  EXPECT_FALSE(parse_zip64_end_record(z.substr(0, kZip64EndSize - 1)));

  const std::string l = zip64_locator_bytes(0x223456789ull);
  ASSERT_EQ(l.size(), kZip64LocatorSize);
  const auto locator = parse_zip64_locator(l);
  ASSERT_TRUE(locator);
  EXPECT_EQ(locator->end_record_offset, 0x223456789ull);
  EXPECT_EQ(locator->total_disks, 1u);
  EXPECT_FALSE(parse_zip64_locator(z));
}
