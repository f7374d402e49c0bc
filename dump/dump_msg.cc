#include "dump/dump_msg.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>

#include "dump/output.h"
#include "dump/text_walk.h"
#include "format/msg_header.h"
#include "platform/platform.h"

namespace {

// A file of known size is read this much at a time, its first block here.
// The fuzz build makes it small, so that short inputs take every read path.
#ifndef STORLOOK_READ_BLOCK
#define STORLOOK_READ_BLOCK (size_t(1) << 20)
#endif
constexpr size_t kReadBlock = STORLOOK_READ_BLOCK;
static_assert(kReadBlock > kHeaderSize, "the first block holds the header");
unsigned char first_block[kReadBlock];

// Reads input of unknown size to its end, keeping the header and, where a
// stream shows it, the text up to its first NUL; later bytes are only
// counted.
void read_to_end(msg_file* m) {
  unsigned char* block = first_block;
  const bool text_shown = body_out != null_out || ctrl_out != null_out;
  bool done_keeping = false;
  size_t got;
  while ((got = read_some(m->fd, m->f, block, kReadBlock)) > 0) {
    size_t text_from =
        m->len < kHeaderSize ? std::min(size_t(kHeaderSize - m->len), got) : 0;
    m->len += got;
    m->last = block[got - 1];
    if (done_keeping || !m->kept_whole) {
      continue;
    }
    unsigned char* end = block + got;
    if (!text_shown) {
      end = block + text_from;
      done_keeping = m->len >= kHeaderSize;
    } else if (auto nul = static_cast<unsigned char*>(
                   std::memchr(block + text_from, 0, got - text_from))) {
      end = nul;
      done_keeping = true;
    }
    try {
      m->kept.insert(m->kept.end(), block, end);
    } catch (const std::bad_alloc&) {
      m->kept_whole = false;  // keep the header alone
      size_t keep = std::min(m->kept.size(), kHeaderSize);
      std::vector<unsigned char>(m->kept.begin(), m->kept.begin() + long(keep))
          .swap(m->kept);
    }
  }
  m->head = m->kept.data();
  m->head_size = m->kept.size();
}

void print_party(const char* label, const stored_msg_hdr& h, text_field f,
                 fido_addr a) {
  std::printf("%s%.*s (%u:%u/%u.%u)\n", label, field_shown_len(h, f),
              field_text(h, f), unsigned(a.zone), unsigned(a.net),
              unsigned(a.node), unsigned(a.point));
}

void print_report(const stored_msg_hdr& h) {
  unsigned attr = hdr_u16(h, kAttributeOff);
  std::printf("Subj: %.*s\n", field_shown_len(h, kSubjectField),
              field_text(h, kSubjectField));
  std::printf("Attr: 0x%04X %s\n", attr, msg_attr_text(attr));
  print_party("To  : ", h, kToField, dest_addr(h));
  print_party("From: ", h, kFromField, orig_addr(h));
  std::printf("Time: %.*s\n", field_shown_len(h, kDateTimeField),
              field_text(h, kDateTimeField));
}

}  // namespace

void read_msg_start(msg_file* m) {
  file_shape shape = shape_of(m->fd);
  m->sized = shape.sized;
  m->directory = shape.directory;
  if (shape.directory) {
    return;
  }
  if (!shape.regular) {
    // It may keep the run waiting (a FIFO with no writer yet): the report
    // so far goes out first, so that it shows which file is waited on.
    flush_report();
    await_input(m->fd, shape.fifo);
  }
  if (!shape.sized) {
    read_to_end(m);
    return;
  }
  // The whole file when it fits one block; the header and one byte more of
  // a device that reports no size. A file cut short since its size was
  // taken is what was read of it.
  size_t want = size_t(std::min<uint64_t>(
      std::max<uint64_t>(shape.size, kHeaderSize + 1), kReadBlock));
  size_t got = read_some(m->fd, m->f, first_block, want);
  m->head = first_block;
  m->head_size = got;
  m->len = got < want ? got : std::max<uint64_t>(shape.size, got);
  if (got == m->len && got > 0) {
    m->last = first_block[got - 1];
  } else if (got == want) {
    m->last = read_byte_at(m->fd, m->len - 1);
    // Cut short past the first block: its size is taken again.
    uint64_t now = m->last < 0 ? shape_of(m->fd).size : m->len;
    if (now >= got && now < m->len) {
      m->len = now;
      m->last = now > got ? read_byte_at(m->fd, now - 1) : first_block[got - 1];
    }
  }
}

void dump_msg_body(msg_file* m) {
  if (m->len <= kHeaderSize + 1) {
    diag("!No body text\n");
    return;
  }
  // The text area is taken at the text's full size, so a text too large
  // for memory is refused as a whole; it is only read into after the first
  // block, and only its first block is ever touched.
  uint64_t text_len = m->len - kHeaderSize;
  note_write_error();
  auto area = static_cast<unsigned char*>(
      m->kept_whole && text_len < SIZE_MAX ? std::malloc(size_t(text_len) + 1)
                                           : nullptr);
  if (!area) {
    diag("!MALLOC failure\n");
    return;
  }
  // With both streams discarded, nothing the walk writes can be seen.
  if (body_out != null_out || ctrl_out != null_out) {
    std::fputs("\n-start of message text-\n", body_out);
    text_walker walker;
    unsigned char* p = m->head + kHeaderSize;
    size_t n = m->head_size - kHeaderSize;
    uint64_t left = text_len - n;
    // The rest of a sized file is read into the area a block at a time, up
    // to the text's first NUL; a short read ends the text where it stops.
    for (;;) {
      auto nul = static_cast<unsigned char*>(std::memchr(p, 0, n));
      walker.feed(p, nul ? size_t(nul - p) : n);
      if (nul || !m->sized || left == 0) {
        break;
      }
      size_t want = size_t(std::min<uint64_t>(left, kReadBlock));
      note_write_error();
      n = read_some(m->fd, m->f, area, want);
      p = area;
      left = n < want ? 0 : left - n;
    }
    walker.finish();
    std::fputs("-end of message text-\n", body_out);
  }
  std::free(area);
  std::putc('\n', stdout);
}

namespace {

void dump(msg_file& m, const char* path) {
  read_msg_start(&m);
  if (m.directory) {
    diag("%s: %s\n", path, std::strerror(EISDIR));
    return;
  }
  if (m.head_size < kHeaderSize) {
    diag("%s !Error reading msg hdr (%zu bytes)\n", path, kHeaderSize);
    return;
  }
  stored_msg_hdr hdr;
  std::memcpy(hdr.raw, m.head, kHeaderSize);

  if (m.last != 0) {
    // A final byte that cannot be read shows as FF.
    diag("%s !Message missing terminator (%02X instead of %02X)\n", path,
         unsigned(m.last & 0xFF), 0u);
  }
  struct {
    text_field field;
    const char* name;
  } const checks[] = {{kFromField, "from"},
                      {kToField, "to"},
                      {kSubjectField, "subj"},
                      {kDateTimeField, "time"}};
  for (const auto& c : checks) {
    if (!field_terminated(hdr, c.field)) {
      diag("%s Unterminated '%s' field\n", path, c.name);
    }
  }

  print_report(hdr);
  dump_msg_body(&m);
}

}  // namespace

void dump_msg(int fd, const char* path) {
  msg_file m;
  m.fd = fd;
  dump(m, path);
}

void dump_msg(std::FILE* f, const char* path) {
  msg_file m;
  m.fd = fileno(f);
  m.f = f;
  dump(m, path);
}
