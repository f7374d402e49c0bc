// Stored message header: the fixed 190-byte record at the start of a *.MSG
// file, its text fields and addresses, and the attribute flag labels.
#ifndef STORLOOK_FORMAT_MSG_HEADER_H_
#define STORLOOK_FORMAT_MSG_HEADER_H_

#include <cstddef>
#include <cstdint>

// Header is four NUL-terminated text fields (from, to, subject, date-time),
// then fourteen little-endian 16-bit words. The message text follows it.
constexpr size_t kHeaderSize = 190;

constexpr size_t kFromOff = 0;  // fromUserName, 36 bytes
constexpr size_t kFromWidth = 36;
constexpr size_t kToOff = 36;  // toUserName, 36 bytes
constexpr size_t kToWidth = 36;
constexpr size_t kSubjectOff = 72;  // subject, 72 bytes
constexpr size_t kSubjectWidth = 72;
constexpr size_t kDateTimeOff = 144;  // DateTime, 20 bytes
constexpr size_t kDateTimeWidth = 20;
// The words timesRead (164), cost (170) and replyTo (184) are not shown.
constexpr size_t kDestNodeOff = 166;
constexpr size_t kOrigNodeOff = 168;
constexpr size_t kOrigNetOff = 172;
constexpr size_t kDestNetOff = 174;
constexpr size_t kDestZoneOff = 176;
constexpr size_t kOrigZoneOff = 178;
constexpr size_t kDestPointOff = 180;
constexpr size_t kOrigPointOff = 182;
constexpr size_t kAttributeOff = 186;
constexpr size_t kNextReplyOff = 188;

/// The header exactly as read from the file; fields are decoded on demand.
struct stored_msg_hdr {
  unsigned char raw[kHeaderSize];
};

/// A fixed-width text field of the header.
struct text_field {
  size_t off;
  size_t width;
};

constexpr text_field kFromField{kFromOff, kFromWidth};
constexpr text_field kToField{kToOff, kToWidth};
constexpr text_field kSubjectField{kSubjectOff, kSubjectWidth};
constexpr text_field kDateTimeField{kDateTimeOff, kDateTimeWidth};

/// A zone:net/node.point address.
struct fido_addr {
  uint16_t zone, net, node, point;
};

inline uint16_t get_u16le(const unsigned char* p) {
  return uint16_t(p[0] | p[1] << 8);
}

/// Decodes the 16-bit word at `off`.
inline uint16_t hdr_u16(const stored_msg_hdr& h, size_t off) {
  return get_u16le(h.raw + off);
}

/// True when the field's last byte is 0, whatever comes before it.
bool field_terminated(const stored_msg_hdr& h, text_field f);

/// How many bytes of the field are shown: up to its first 0 byte, and never
/// its last byte.
int field_shown_len(const stored_msg_hdr& h, text_field f);

/// First byte of the field.
inline const char* field_text(const stored_msg_hdr& h, text_field f) {
  return reinterpret_cast<const char*>(h.raw + f.off);
}

fido_addr dest_addr(const stored_msg_hdr& h);
fido_addr orig_addr(const stored_msg_hdr& h);

/// The set labelled flags of `attr` as "(LABEL, LABEL)", or "" when none is.
/// Only the low 16 bits count. The text lives until the next call.
const char* msg_attr_text(unsigned attr);

#endif  // STORLOOK_FORMAT_MSG_HEADER_H_
