#include "dump/dump_msg.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "cli/streams.h"
#include "dump/text_walk.h"
#include "format/msg_header.h"

namespace {

#ifdef _WIN32
using file_off = long long;
int seek_file(std::FILE* f, file_off off, int whence) {
  return _fseeki64(f, off, whence);
}
file_off tell_file(std::FILE* f) {
  return _ftelli64(f);
}
file_off seek_fd(int fd, file_off off, int whence) {
  return _lseeki64(fd, off, whence);
}
#else
using file_off = off_t;
int seek_file(std::FILE* f, file_off off, int whence) {
  return fseeko(f, off, whence);
}
file_off tell_file(std::FILE* f) {
  return ftello(f);
}
file_off seek_fd(int fd, file_off off, int whence) {
  return lseek(fd, off, whence);
}
#endif

// False for a pipe, socket or terminal. A stream with no descriptor (one in
// memory) can seek.
bool can_seek(std::FILE* f) {
  int fd = fileno(f);
  return fd < 0 || seek_fd(fd, 0, SEEK_CUR) >= 0;
}

// The text is read and walked in blocks of this size.
constexpr size_t kReadBlock = size_t(1) << 20;

// What the header phase learns about the rest of the file.
struct msg_extent {
  uint64_t len = 0;        // file length in bytes
  unsigned char last = 0;  // the file's final byte
  // For input that cannot seek (a pipe), the text is read while finding the
  // length. It is kept up to its first NUL; later bytes are only counted.
  bool piped = false;
  bool kept_whole = true;  // false when memory ran out while keeping it
  std::string kept;
};

// Finds the length and final byte of a seekable file, as the position after
// reading its last byte. A final byte that cannot be read shows as FF.
void measure_seekable(std::FILE* f, msg_extent* ext) {
  seek_file(f, -1, SEEK_END);
  int c = std::getc(f);
  ext->last = c == EOF ? 0xFF : static_cast<unsigned char>(c);
  ext->len = static_cast<uint64_t>(tell_file(f));
}

// Reads a non-seekable stream to its end, after the header.
void measure_piped(std::FILE* f, const stored_msg_hdr& hdr, msg_extent* ext) {
  ext->piped = true;
  ext->len = kHeaderSize;
  ext->last = hdr.raw[kHeaderSize - 1];
  bool nul_seen = false;
  static unsigned char block[64 * 1024];
  size_t got;
  while ((got = std::fread(block, 1, sizeof block, f)) > 0) {
    ext->len += got;
    ext->last = block[got - 1];
    if (nul_seen || !ext->kept_whole) {
      continue;
    }
    auto nul = static_cast<const unsigned char*>(std::memchr(block, 0, got));
    size_t keep = nul ? size_t(nul - block) : got;
    nul_seen = nul != nullptr;
    try {
      ext->kept.append(reinterpret_cast<const char*>(block), keep);
    } catch (const std::bad_alloc&) {
      ext->kept_whole = false;
      ext->kept.clear();
      ext->kept.shrink_to_fit();
    }
  }
}

// Reads the text of a seekable file into `window` a block at a time and walks
// each block as it arrives; reading stops at the first NUL, since nothing
// after it is shown. A short read ends the text where it stops.
void walk_seekable_text(std::FILE* f, unsigned char* window, uint64_t text_len,
                        text_walker* walker) {
  seek_file(f, file_off(kHeaderSize), SEEK_SET);
  uint64_t left = text_len;
  while (left > 0) {
    size_t want = left < kReadBlock ? size_t(left) : kReadBlock;
    size_t got = std::fread(window, 1, want, f);
    auto nul = static_cast<const unsigned char*>(std::memchr(window, 0, got));
    walker->feed(window, nul ? size_t(nul - window) : got);
    if (nul || got < want) {
      return;
    }
    left -= got;
  }
}

// The text phase. The text area is taken at the text's full size, so a text
// too large for memory is refused as a whole; it is then filled and walked a
// block at a time, so only its first block is ever touched. `ext` is null
// for a seekable file, which is read from `f`.
void dump_text(std::FILE* f, const msg_extent* ext, uint64_t len) {
  if (len <= kHeaderSize + 1) {
    diag("!No body text\n");
    return;
  }
  uint64_t text_len = len - kHeaderSize;
  void* area =
      text_len < SIZE_MAX ? std::calloc(size_t(text_len) + 1, 1) : nullptr;
  if (ext && ext->piped && !ext->kept_whole) {
    std::free(area);
    area = nullptr;
  }
  if (!area) {
    diag("!MALLOC failure\n");
    return;
  }
  // With both streams discarded, nothing the walk writes can be seen.
  if (body_out != null_out || ctrl_out != null_out) {
    std::fputs("\n-start of message text-\n", body_out);
    text_walker walker;
    if (ext && ext->piped) {
      walker.feed(reinterpret_cast<const unsigned char*>(ext->kept.data()),
                  ext->kept.size());
    } else {
      walk_seekable_text(f, static_cast<unsigned char*>(area), text_len,
                         &walker);
    }
    walker.finish();
    std::fputs("-end of message text-\n", body_out);
  }
  std::free(area);
  std::putc('\n', stdout);
}

void print_addr_line(const char* tag, const stored_msg_hdr& h, text_field name,
                     fido_addr a) {
  std::printf("%s: %.*s (%u:%u/%u.%u)\n", tag, field_shown_len(h, name),
              field_text(h, name), unsigned(a.zone), unsigned(a.net),
              unsigned(a.node), unsigned(a.point));
}

}  // namespace

void walk_msg_text(const unsigned char* text, size_t n) {
  text_walker walker;
  walker.feed(text, n);
  walker.finish();
}

void dump_msg_body(std::FILE* f, uint64_t len) {
  dump_text(f, nullptr, len);
}

void dump_msg(std::FILE* f, const char* path) {
  stored_msg_hdr hdr;
  if (std::fread(hdr.raw, 1, kHeaderSize, f) != kHeaderSize) {
    diag("%s !Error reading msg hdr (%zu bytes)\n", path, kHeaderSize);
    return;
  }

  msg_extent ext;
  if (can_seek(f)) {
    measure_seekable(f, &ext);
  } else {
    measure_piped(f, hdr, &ext);
  }

  if (ext.last != 0) {
    diag("%s !Message missing terminator (%02X instead of %02X)\n", path,
         unsigned(ext.last), 0u);
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

  std::printf("Subj: %.*s\n", field_shown_len(hdr, kSubjectField),
              field_text(hdr, kSubjectField));
  unsigned attr = hdr_u16(hdr, kAttributeOff);
  std::printf("Attr: 0x%04X %s\n", attr, msg_attr_text(attr));
  print_addr_line("To  ", hdr, kToField, dest_addr(hdr));
  print_addr_line("From", hdr, kFromField, orig_addr(hdr));
  std::printf("Time: %.*s\n", field_shown_len(hdr, kDateTimeField),
              field_text(hdr, kDateTimeField));

  dump_text(f, ext.piped ? &ext : nullptr, ext.len);
}
