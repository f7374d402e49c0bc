#include "dump/dump_msg.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "dump/output.h"
#include "dump/text_walk.h"
#include "tests/msg_builder.h"

namespace {

std::string read_back(std::FILE* f) {
  std::string s;
  std::rewind(f);
  int c;
  while ((c = std::getc(f)) != EOF) {
    s += char(c);
  }
  return s;
}

// Walks `text` on the routed streams, fed in two pieces cut at `cut`, or a
// byte at a time if `cut` is npos.
void walk_text(std::string text, size_t cut) {
  auto bytes = reinterpret_cast<unsigned char*>(&text[0]);
  text_walker walker;
  if (cut == std::string::npos) {
    for (size_t i = 0; i < text.size(); ++i) {
      walker.feed(bytes + i, 1);
    }
  } else {
    walker.feed(bytes, cut);
    walker.feed(bytes + cut, text.size() - cut);
  }
  walker.finish();
}

// The same, with both streams on one capture.
std::string walk_in_pieces(const std::string& text, size_t cut) {
  body_out = ctrl_out = std::tmpfile();
  walk_text(text, cut);
  std::string shown = read_back(body_out);
  std::fclose(body_out);
  return shown;
}

struct walk_output {
  std::string body, ctrl, both;
};

// Walks `text` twice: once with separate body and control streams, once with
// both on one stream, as with -body.
walk_output walk(const std::string& text) {
  walk_output w;
  body_out = std::tmpfile();
  ctrl_out = std::tmpfile();
  walk_text(text, text.size());
  w.body = read_back(body_out);
  w.ctrl = read_back(ctrl_out);
  std::fclose(body_out);
  std::fclose(ctrl_out);
  w.both = walk_in_pieces(text, text.size());
  return w;
}

TEST(WalkMsgText, SplitsTextAndControlLines) {
  const struct {
    const char* what;
    std::string text, body, ctrl, both;
  } cases[] = {
      {"empty", "", "", "", ""},
      {"kludges, LF after CR, SEEN-BY",
       "\x01MSGID: 1:2/3 1a2b3c4d\rHello\r\nWorld\rSEEN-BY: 2/3\r\x01PATH: "
       "2/3\r",
       "Hello\nWorld\nSEEN-BY: 2/3\n", "@MSGID: 1:2/3 1a2b3c4d\n@PATH: 2/3\n",
       "@MSGID: 1:2/3 1a2b3c4d\nHello\nWorld\nSEEN-BY: 2/3\n@PATH: 2/3\n"},
      {"text without CR gets no newline", "abc", "abc", "", "abc"},
      {"control line without CR still ends", "\x01PID: x", "", "@PID: x\n",
       "@PID: x\n"},
      {"bare control mark", "\x01\r", "", "@\n", "@\n"},
      {"two control lines",
       "\x01"
       "A\r\x01"
       "B\r",
       "", "@A\n@B\n", "@A\n@B\n"},
      {"LF dropped from text", "a\nb\r", "ab\n", "", "ab\n"},
      {"LF copied in control line",
       "\x01"
       "A\nB\r",
       "", "@A\nB\n", "@A\nB\n"},
      {"0x01 inside text", "hi \x01there\r", "hi \x01there\n", "",
       "hi \x01there\n"},
      {"0x01 after CR LF is text", "x\r\n\x01PATH\r", "x\n\x01PATH\n", "",
       "x\n\x01PATH\n"},
      {"empty lines", "\r\r", "\n\n", "", "\n\n"},
      {"lone LF", "\n", "", "", ""},
      {"high bytes raw", "\x80\xFF\x8E\r", "\x80\xFF\x8E\n", "",
       "\x80\xFF\x8E\n"},
      {"text line ends where control line follows", "one\r\x01TOPT 5\rtwo",
       "one\ntwo", "@TOPT 5\n", "one\n@TOPT 5\ntwo"},
  };
  for (const auto& c : cases) {
    walk_output w = walk(c.text);
    EXPECT_EQ(w.body, c.body) << c.what;
    EXPECT_EQ(w.ctrl, c.ctrl) << c.what;
    EXPECT_EQ(w.both, c.both) << c.what;
    // Text read in blocks: a line, a CR or a control mark may fall on a cut.
    for (size_t cut = 0; cut <= c.text.size(); ++cut) {
      EXPECT_EQ(walk_in_pieces(c.text, cut), c.both)
          << c.what << " cut at " << cut;
    }
    EXPECT_EQ(walk_in_pieces(c.text, std::string::npos), c.both) << c.what;
  }
}

// The body phase on its own: no text, or a text area that memory cannot
// hold, which is refused as a whole before anything is read or shown.
TEST(DumpMsgBody, NoTextOrNoMemory) {
  std::string header = msg_builder().bytes();
  const struct {
    uint64_t len;
    const char* err;
  } cases[] = {
      {kHeaderSize, "!No body text\n"},
      {kHeaderSize + 1, "!No body text\n"},
      {uint64_t(1) << 62, "!MALLOC failure\n"},
  };
  for (const auto& c : cases) {
    msg_file m;
    m.f = nullptr;  // nothing may be read
    m.head = reinterpret_cast<unsigned char*>(&header[0]);
    m.head_size = header.size();
    m.len = c.len;
    body_out = ctrl_out = std::tmpfile();
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    dump_msg_body(&m);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "") << c.len;
    std::string err = ::testing::internal::GetCapturedStderr();
    if (err.rfind("==", 0) == 0) {  // AddressSanitizer's word on the refusal
      err.erase(0, err.find('\n') + 1);
    }
    EXPECT_EQ(err, c.err) << c.len;
    EXPECT_EQ(read_back(body_out), "") << c.len;
    std::fclose(body_out);
  }
}

#ifdef __linux__
// A stream with no descriptor (one in memory) is read through stdio, to its
// end, like a pipe. fopencookie is the Linux C libraries' own.
TEST(DumpMsg, StreamWithoutDescriptor) {
  struct source {
    std::string bytes;
    size_t at;
  } src{
      msg_builder().body(std::string("\x01PID: x\rHello\r\0\x1A", 16)).bytes(),
      0};
  cookie_io_functions_t io{};
  io.read = [](void* cookie, char* buf, size_t n) -> ssize_t {
    auto s = static_cast<source*>(cookie);
    n = std::min(n, s->bytes.size() - s->at);
    s->bytes.copy(buf, n, s->at);
    s->at += n;
    return ssize_t(n);
  };
  std::FILE* in = fopencookie(&src, "r", io);
  body_out = ctrl_out = std::tmpfile();
  ::testing::internal::CaptureStdout();
  ::testing::internal::CaptureStderr();
  dump_msg(in, "m.msg");
  std::fflush(stdout);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(),
            "Subj: Test\nAttr: 0x0181 (PRIVATE, KILLSENT, LOCAL)\n"
            "To  : All (1:234/56.0)\nFrom: Sysop (2:345/67.8)\n"
            "Time: 15 Mar 21  08:30:00\n\n");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "m.msg !Message missing terminator (1A instead of 00)\n");
  EXPECT_EQ(
      read_back(body_out),
      "\n-start of message text-\n@PID: x\nHello\n-end of message text-\n");
  std::fclose(body_out);
  std::fclose(in);
}
#endif

}  // namespace
