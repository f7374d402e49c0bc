#include "format/msg_header.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/msg_builder.h"

namespace {

stored_msg_hdr header_of(const msg_builder& b) {
  stored_msg_hdr h;
  b.bytes().copy(reinterpret_cast<char*>(h.raw), kHeaderSize);
  return h;
}

TEST(MsgAttrText, LabelsInBitOrder) {
  const struct {
    unsigned attr;
    const char* text;
  } cases[] = {
      {0x0000, ""},
      {0x0400, ""},  // the unassigned bit never shows
      {0x0001, "(PRIVATE)"},
      {0x0181, "(PRIVATE, KILLSENT, LOCAL)"},
      {0x2000, "(RR)"},
      {0x8001, "(PRIVATE, FUPREQ)"},
      {0x0C00, "(FREQ)"},
      {0x1FFFF,
       "(PRIVATE, CRASH, RECV, SENT, FILE, INTRANS, ORPHAN, KILLSENT, "
       "LOCAL, HOLD, FREQ, RRREQ, RR, AUDIT, FUPREQ)"},  // bit 16 ignored
  };
  for (const auto& c : cases) {
    EXPECT_STREQ(msg_attr_text(c.attr), c.text) << std::hex << c.attr;
  }
}

TEST(MsgAttrText, LongestListIsWhole) {
  EXPECT_EQ(std::string(msg_attr_text(0xFFFF)).size(), 106u);
  // The shared text area is rebuilt from empty on every call.
  EXPECT_STREQ(msg_attr_text(0x0008), "(SENT)");
}

TEST(TextField, ShownUpToFirstNulNeverLastByte) {
  const struct {
    std::string value;
    text_field field;
    int shown;
    bool terminated;
  } cases[] = {
      {"", kFromField, 0, true},
      {"Sysop", kFromField, 5, true},
      {std::string(35, 'a'), kFromField, 35, true},
      {std::string(36, 'a'), kFromField, 35, false},
      {std::string(72, 's'), kSubjectField, 71, false},
      {std::string(20, 't'), kDateTimeField, 19, false},
      // A NUL inside the field ends what is shown; the last byte alone
      // decides whether the field is terminated.
      {std::string(10, 'x') + '\0' + std::string(25, 'y'), kToField, 10, false},
  };
  for (const auto& c : cases) {
    stored_msg_hdr h = header_of(msg_builder().set_text(c.field, c.value));
    EXPECT_EQ(field_shown_len(h, c.field), c.shown) << c.value;
    EXPECT_EQ(field_terminated(h, c.field), c.terminated) << c.value;
  }
}

TEST(Addresses, DecodedLittleEndianAndUnsigned) {
  stored_msg_hdr h = header_of(msg_builder()
                                   .set_u16(kDestZoneOff, 0xFFFF)
                                   .set_u16(kDestNetOff, 0x8000)
                                   .set_u16(kDestNodeOff, 0x1234)
                                   .set_u16(kDestPointOff, 7));
  fido_addr d = dest_addr(h);
  EXPECT_EQ(d.zone, 65535);
  EXPECT_EQ(d.net, 32768);
  EXPECT_EQ(d.node, 0x1234);
  EXPECT_EQ(d.point, 7);
  EXPECT_EQ(h.raw[kDestNodeOff], 0x34);
  fido_addr o = orig_addr(h);
  EXPECT_EQ(o.zone, 2);
  EXPECT_EQ(o.net, 345);
  EXPECT_EQ(o.node, 67);
  EXPECT_EQ(o.point, 8);
}

}  // namespace
