#include "tests/msg_builder.h"

#include <fstream>

msg_builder::msg_builder() : bytes_(kHeaderSize, '\0') {
  set_text(kFromField, "Sysop");
  set_text(kToField, "All");
  set_text(kSubjectField, "Test");
  set_text(kDateTimeField, "15 Mar 21  08:30:00");
  set_u16(kDestZoneOff, 1).set_u16(kDestNetOff, 234).set_u16(kDestNodeOff, 56);
  set_u16(kOrigZoneOff, 2).set_u16(kOrigNetOff, 345).set_u16(kOrigNodeOff, 67);
  set_u16(kOrigPointOff, 8).set_u16(kAttributeOff, 0x0181);
}

msg_builder& msg_builder::set_text(text_field f, const std::string& s) {
  std::string field = s.substr(0, f.width);
  field.resize(f.width, '\0');
  bytes_.replace(f.off, f.width, field);
  return *this;
}

msg_builder& msg_builder::set_u16(size_t off, uint16_t v) {
  bytes_[off] = char(v & 0xFF);
  bytes_[off + 1] = char(v >> 8);
  return *this;
}

msg_builder& msg_builder::set_byte(size_t off, unsigned char v) {
  bytes_[off] = char(v);
  return *this;
}

msg_builder& msg_builder::body(const std::string& text) {
  bytes_.resize(kHeaderSize);
  bytes_ += text;
  return *this;
}

msg_builder& msg_builder::truncate(size_t n) {
  bytes_.resize(n);
  return *this;
}

std::string msg_builder::write(const std::string& dir,
                               const std::string& name) const {
  std::string path = dir + "/" + name;
  std::ofstream(path, std::ios::binary) << bytes_;
  return path;
}
