#include "format/msg_header.h"

#include <cstring>

bool field_terminated(const stored_msg_hdr& h, text_field f) {
  return h.raw[f.off + f.width - 1] == 0;
}

int field_shown_len(const stored_msg_hdr& h, text_field f) {
  const unsigned char* p = h.raw + f.off;
  size_t limit = f.width - 1;
  auto nul = static_cast<const unsigned char*>(std::memchr(p, 0, limit));
  return int(nul ? size_t(nul - p) : limit);
}

fido_addr dest_addr(const stored_msg_hdr& h) {
  return {hdr_u16(h, kDestZoneOff), hdr_u16(h, kDestNetOff),
          hdr_u16(h, kDestNodeOff), hdr_u16(h, kDestPointOff)};
}

fido_addr orig_addr(const stored_msg_hdr& h) {
  return {hdr_u16(h, kOrigZoneOff), hdr_u16(h, kOrigNetOff),
          hdr_u16(h, kOrigNodeOff), hdr_u16(h, kOrigPointOff)};
}

namespace {

// Labels by bit number; bit 10 is unassigned and never shown.
// clang-format off
const char* const kAttrLabels[16] = {
    "PRIVATE", "CRASH", "RECV",  "SENT", "FILE",  "INTRANS", "ORPHAN", "KILLSENT",
    "LOCAL",   "HOLD",  nullptr, "FREQ", "RRREQ", "RR",      "AUDIT",  "FUPREQ",
};
// clang-format on

// Every label, each with its ", " separator, plus the parentheses and NUL.
constexpr size_t kAttrTextMax = 107;

}  // namespace

const char* msg_attr_text(unsigned attr) {
  static char text[kAttrTextMax];
  size_t n = 0;
  for (unsigned bit = 0; bit < 16; ++bit) {
    const char* label = kAttrLabels[bit];
    if (!(attr & (1u << bit)) || !label) {
      continue;
    }
    if (n == 0) {
      text[n++] = '(';
    } else {
      text[n++] = ',';
      text[n++] = ' ';
    }
    size_t len = std::strlen(label);
    std::memcpy(text + n, label, len);
    n += len;
  }
  if (n == 0) {
    text[0] = '\0';
    return text;
  }
  text[n++] = ')';
  text[n] = '\0';
  return text;
}
