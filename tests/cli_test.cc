// End-to-end tests: the built binary on message files made field by field.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "format/msg_header.h"
#include "tests/tool_test.h"

namespace {

using namespace std::string_literals;

const std::string kText =
    "\x01MSGID: 1:2/3 1a2b3c4d\rHello\r\x01PATH: 2/3\r\0"s;
const std::string kCtrlShown = "@MSGID: 1:2/3 1a2b3c4d\n@PATH: 2/3\n";
const std::string kBodyShown =
    "\n-start of message text-\n@MSGID: 1:2/3 1a2b3c4d\nHello\n@PATH: 2/3\n"
    "-end of message text-\n";

class Cli : public tool_test {};

// Every length from an empty file to the first one with a shown text byte:
// the header read, the final-byte check and the no-text limit all turn here.
TEST_F(Cli, EveryLengthUpToFirstTextByte) {
  const msg_builder full = msg_builder().body("A\0"s);
  std::vector<std::string> args{"-body"};
  std::string out, err = kBanner;
  for (size_t n = 0; n <= kHeaderSize + 2; ++n) {
    std::string name = "len" + std::to_string(n) + ".msg";
    args.push_back(put(name, msg_builder(full).truncate(n)));
    out += opening(name);
    if (n < kHeaderSize) {
      err += name + " !Error reading msg hdr (190 bytes)\n";
      continue;
    }
    out += kReport;
    if (n == kHeaderSize + 1) {  // the final byte is the text's 'A'
      err += name + " !Message missing terminator (41 instead of 00)\n";
    }
    if (n <= kHeaderSize + 1) {
      err += "!No body text\n";
      continue;
    }
    out += "\n-start of message text-\nA-end of message text-\n\n";
  }
  run_result r = run(args);
  EXPECT_EQ(r.out, out);
  EXPECT_EQ(r.err, err);
  EXPECT_EQ(r.status, 0);
}

TEST_F(Cli, HeaderReport) {
  const struct {
    const char* what;
    msg_builder msg;
    std::string warnings;  // each prefixed with the path
    std::string report;
  } cases[] = {
      {"well formed", msg_builder().body(kText), "", kReport},
      {"all fields unterminated, final byte 1A",
       msg_builder()
           .set_text(kFromField, std::string(36, 'F'))
           .set_text(kToField, std::string(36, 'T'))
           .set_text(kSubjectField, std::string(72, 'S'))
           .set_text(kDateTimeField, std::string(20, 'D'))
           .set_u16(kAttributeOff, 0x2356)
           .body("x\x1A"),
       " !Message missing terminator (1A instead of 00)\n"
       " Unterminated 'from' field\n Unterminated 'to' field\n"
       " Unterminated 'subj' field\n Unterminated 'time' field\n",
       "Subj: " + std::string(71, 'S') +
           "\nAttr: 0x2356 (CRASH, RECV, FILE, ORPHAN, LOCAL, HOLD, RR)\n" +
           "To  : " + std::string(35, 'T') +
           " (1:234/56.0)\nFrom: " + std::string(35, 'F') +
           " (2:345/67.8)\nTime: " + std::string(19, 'D') + "\n"},
      {"network numbers are unsigned 16-bit, attribute 0 leaves a space",
       msg_builder()
           .set_u16(kDestNetOff, 0xFFFF)
           .set_u16(kDestZoneOff, 0x8000)
           .set_u16(kOrigPointOff, 0x7FFF)
           .set_u16(kAttributeOff, 0)
           .body(kText),
       "",
       "Subj: Test\nAttr: 0x0000 \nTo  : All (32768:65535/56.0)\n"
       "From: Sysop (2:345/67.32767)\nTime: 15 Mar 21  08:30:00\n"},
      {"every hex digit in the attribute word",
       msg_builder().set_u16(kAttributeOff, 0xCDE0).body(kText), "",
       "Subj: Test\nAttr: 0xCDE0 (INTRANS, ORPHAN, KILLSENT, LOCAL, FREQ, "
       "AUDIT, FUPREQ)\nTo  : All (1:234/56.0)\nFrom: Sysop (2:345/67.8)\n"
       "Time: 15 Mar 21  08:30:00\n"},
      {"NUL in the middle of a field, raw high bytes",
       msg_builder()
           .set_text(kSubjectField, "Re: \x8E\xE9t\xE9\0hidden"s)
           .set_u16(kAttributeOff, 0x8400)
           .body(kText),
       "",
       "Subj: Re: \x8E\xE9t\xE9\nAttr: 0x8400 (FUPREQ)\nTo  : All "
       "(1:234/56.0)\n"
       "From: Sysop (2:345/67.8)\nTime: 15 Mar 21  08:30:00\n"},
      {"last field byte set but text ends early",
       msg_builder()
           .set_text(kToField, "Al\0"s + std::string(32, ' ') + "!")
           .set_u16(kAttributeOff, 0x79AB)
           .body(kText),
       " Unterminated 'to' field\n",
       "Subj: Test\nAttr: 0x79AB (PRIVATE, CRASH, SENT, INTRANS, KILLSENT, "
       "LOCAL, FREQ, RRREQ, RR, AUDIT)\nTo  : Al "
       "(1:234/56.0)\n"
       "From: Sysop (2:345/67.8)\nTime: 15 Mar 21  08:30:00\n"},
  };
  for (const auto& c : cases) {
    put("m.msg", c.msg);
    run_result r = run({"m.msg"});
    std::string warnings;
    std::istringstream lines(c.warnings);
    for (std::string line; std::getline(lines, line);) {
      warnings += "m.msg" + line + "\n";
    }
    EXPECT_EQ(r.err, kBanner + warnings) << c.what;
    EXPECT_EQ(r.out, opening("m.msg") + c.report + "\n") << c.what;
    EXPECT_EQ(r.status, 0) << c.what;
  }
}

// Long texts cross the 1 MiB read block and the 64 KiB output buffers; the
// whole output is compared, so a line lost at a seam shows.
TEST_F(Cli, TextOfTheMessage) {
  const std::string a_block(1 << 20, 'a');
  const std::string long_line(70000, 'L');
  std::string lines16, ctrl_lines, ctrl_shown;
  for (int i = 0; i < 20000; ++i) {
    lines16 += "fifteen bytes..\r";
  }
  for (int i = 0; i < 6000; ++i) {
    ctrl_lines +=
        "\x01"
        "SEEN " +
        std::to_string(i) + "\r";
    ctrl_shown += "@SEEN " + std::to_string(i) + "\n";
  }
  auto lf_for_cr = [](std::string t) {
    for (char& c : t) {
      c = c == '\r' ? '\n' : c;
    }
    return t;
  };
  const struct {
    const char* what;
    std::string text;
    std::string shown;  // between the markers, with -body
    std::string ctrl;   // with -ctrl
    std::string err;
  } cases[] = {
      {"text stops at the first NUL", "one\r\0two\r\0"s, "one\n", "", ""},
      {"first byte NUL", "\0\0"s, "", "", ""},
      {"no final NUL: the area still ends", "ab\rcd", "ab\ncd", "",
       "m.msg !Message missing terminator (64 instead of 00)\n"},
      {"0x1A after the NUL is never shown", "ab\r\0\x1A"s, "ab\n", "",
       "m.msg !Message missing terminator (1A instead of 00)\n"},
      {"CR LF lines, control lines in order",
       "\x01INTL 1:2/3 1:4/5\r\x01"
       "FMPT 8\rHi\r\n\x01not a kludge\r\0"s,
       "@INTL 1:2/3 1:4/5\n@FMPT 8\nHi\n\x01not a kludge\n",
       "@INTL 1:2/3 1:4/5\n@FMPT 8\n", ""},
      {"past the first block, no NUL", a_block + "b", a_block + "b", "",
       "m.msg !Message missing terminator (62 instead of 00)\n"},
      {"past the first block", a_block + "bbbbbbbbbb\r\0"s,
       a_block + "bbbbbbbbbb\n", "", ""},
      {"NUL early in a long file", "x\r\0"s + std::string(1100000, 'j') + '\0',
       "x\n", "", ""},
      {"past two blocks", a_block + a_block + "end\r\0"s,
       a_block + a_block + "end\n", "", ""},
      {"ends in a control line without CR", "Hi\r\x01PID: x\0"s,
       "Hi\n@PID: x\n", "@PID: x\n", ""},
      {"one long line", long_line + "\r\0"s, long_line + "\n", "", ""},
      {"short line, then a long one", "short\r" + long_line + "\r\0"s,
       "short\n" + long_line + "\n", "", ""},
      {"many short lines", lines16 + "\0"s, lf_for_cr(lines16), "", ""},
      {"only CRs", std::string(200000, '\r') + "\0"s, std::string(200000, '\n'),
       "", ""},
      {"many control lines", ctrl_lines + "\0"s, ctrl_shown, ctrl_shown, ""},
      {"one long control line", "\x01" + long_line + "\r\0"s,
       "@" + long_line + "\n", "@" + long_line + "\n", ""},
  };
  for (const auto& c : cases) {
    put("m.msg", msg_builder().body(c.text));
    run_result r = run({"-body", "m.msg"});
    EXPECT_TRUE(r.out == opening("m.msg") + kReport +
                             "\n-start of message text-\n" + c.shown +
                             "-end of message text-\n\n")
        << c.what;
    EXPECT_EQ(r.err, kBanner + c.err) << c.what;
    r = run({"-ctrl", "m.msg"});
    EXPECT_TRUE(r.out == opening("m.msg") + kReport + c.ctrl + "\n") << c.what;
  }
}

TEST_F(Cli, OptionsRouteLaterFiles) {
  put("a.msg", msg_builder().body(kText));
  put("b.msg", msg_builder().body(kText));
  const std::string plain = kReport + "\n";
  const std::string ctrl = kReport + kCtrlShown + "\n";
  const std::string body = kReport + kBodyShown + "\n";
  const struct {
    std::vector<std::string> args;
    std::string out;
  } cases[] = {
      {{"a.msg"}, opening("a.msg") + plain},
      {{"-ctrl", "a.msg"}, opening("a.msg") + ctrl},
      {{"-C", "a.msg"}, opening("a.msg") + ctrl},
      {{"-body", "a.msg"}, opening("a.msg") + body},
      {{"-BODY", "a.msg"}, opening("a.msg") + body},
      {{"-b", "a.msg"}, opening("a.msg") + body},
      {{"-bogus", "a.msg"}, opening("a.msg") + body},
      {{"-ctrl", "-body", "a.msg"}, opening("a.msg") + body},
      {{"-body", "-ctrl", "a.msg"}, opening("a.msg") + body},
      {{"a.msg", "-body", "b.msg"},
       opening("a.msg") + plain + opening("b.msg") + body},
      {{"a.msg", "-ctrl", "b.msg", "-body", "a.msg"},
       opening("a.msg") + plain + opening("b.msg") + ctrl + opening("a.msg") +
           body},
      // An unknown option prints the usage and ends the run.
      {{"a.msg", "-", "b.msg"}, opening("a.msg") + plain + kUsage},
      {{"--help", "a.msg"}, kUsage},
      {{"-x"}, kUsage},
  };
  for (const auto& c : cases) {
    run_result r = run(c.args);
    std::string what = ::testing::PrintToString(c.args);
    EXPECT_EQ(r.out, c.out) << what;
    EXPECT_EQ(r.err, kBanner) << what;
    EXPECT_EQ(r.status, 0) << what;
  }
}

TEST_F(Cli, NoArgumentsIsAnError) {
  run_result r = run({});
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, kBanner + kUsage);
  EXPECT_EQ(r.status, 255);
}

// Files that cannot be dumped are reported after their Opening line, and the
// run goes on with status 0.
TEST_F(Cli, UnopenableFilesKeepTheRunGoing) {
  put("a.msg", msg_builder().body(kText));
  std::filesystem::create_directory(dir_ + "/sub.msg");
#ifdef _WIN32
  // Windows will not open a directory, nor take an escape in a file name.
  const std::string dir_error = sys_error(EACCES);
  const std::string odd = "%s%n.msg";
#else
  const std::string dir_error = sys_error(EISDIR);
  const std::string odd = "%s%n\x1b[31m.msg";
#endif
  run_result r = run({"missing.msg", "", "sub.msg", odd, "a.msg"});
  EXPECT_EQ(r.out, opening("missing.msg") + opening("") + opening("sub.msg") +
                       opening(odd) + opening("a.msg") + kReport + "\n");
  const std::string missing = ": " + sys_error(ENOENT) + "\n";
  EXPECT_EQ(r.err, kBanner + "missing.msg" + missing + missing +
                       "sub.msg: " + dir_error + "\n" + odd + missing);
  EXPECT_EQ(r.status, 0);
}

// With 2>&1 each diagnostic stands where it was produced, even though stdout
// is buffered and stderr is not.
TEST_F(Cli, CombinedStreamKeepsOrder) {
  put("a.msg", msg_builder().body(kText));
  // bad.msg follows a.msg: nothing of a.msg's attribute text may remain.
  put("bad.msg", msg_builder()
                     .set_text(kFromField, std::string(36, 'F'))
                     .set_u16(kAttributeOff, 0x0400)
                     .body("x"));
  put("short.msg", msg_builder().truncate(10));
  run_options o = in_dir();
  o.merge_stderr = true;
  run_result r =
      run_storlook({"a.msg", "gone.msg", "bad.msg", "short.msg", "a.msg"}, o);
  EXPECT_EQ(r.out,
            kBanner + opening("a.msg") + kReport + "\n" + opening("gone.msg") +
                "gone.msg: " + sys_error(ENOENT) + "\n" + opening("bad.msg") +
                "bad.msg !Message missing terminator (78 instead of 00)\n" +
                "bad.msg Unterminated 'from' field\n" + "Subj: Test\n" +
                "Attr: 0x0400 \n" + "To  : All (1:234/56.0)\n" +
                "From: " + std::string(35, 'F') + " (2:345/67.8)\n" +
                "Time: 15 Mar 21  08:30:00\n" + "!No body text\n" +
                opening("short.msg") +
                "short.msg !Error reading msg hdr (190 bytes)\n" +
                opening("a.msg") + kReport + "\n");
}

// Each newline goes out as the system writes one: LF here, CR LF on Windows,
// also the LF copied from inside a control line.
TEST_F(Cli, NewlinesAreNative) {
  put("a.msg", msg_builder().body("\x01"
                                  "A\nB\rtext\r\0"s));
  run_result r = run({"-body", "a.msg"});
  EXPECT_EQ(r.out, opening("a.msg") + kReport + "\n-start of message text-\n" +
                       "@A\nB\ntext\n-end of message text-\n\n");
#ifdef _WIN32
  const std::string nl = "\r\n";
#else
  const std::string nl = "\n";
#endif
  std::string native;
  for (char c : r.out) {
    native += c == '\n' ? nl : std::string(1, c);
  }
  EXPECT_EQ(r.raw_out, native);
  EXPECT_EQ(r.raw_err, kBannerLine + nl + nl);
}

#ifndef _WIN32
// A pipe cannot seek: the length and final byte must still be those of the
// bytes that came through it.
TEST_F(Cli, PipeGivesSameDumpAsFile) {
  const struct {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"empty", ""},
      {"short header", msg_builder().truncate(100).bytes()},
      {"header only", msg_builder().bytes()},
      {"header only, all FF", std::string(kHeaderSize, '\xFF')},
      {"header only, ends 01 00",
       msg_builder().set_u16(kNextReplyOff, 1).bytes()},
      {"header only, ends 00 01",
       msg_builder().set_u16(kNextReplyOff, 0x100).bytes()},
      {"header and one byte", msg_builder().body("\x1A").bytes()},
      {"message", msg_builder().body(kText).bytes()},
      {"missing terminator", msg_builder().body("abc\r").bytes()},
      {"one byte past the first block",
       msg_builder()
           .body(std::string((1 << 20) - kHeaderSize, 'a') + "z")
           .bytes()},
      {"NUL first in the second block",
       msg_builder()
           .body(std::string((1 << 20) - kHeaderSize, 'a') + "\0junk"s)
           .bytes()},
      {"NUL early, more than a block after it",
       msg_builder()
           .body("x\r\0"s + std::string(1100000, 'j') + "\x7F")
           .bytes()},
      {"long text",
       msg_builder().body(std::string(200000, 'a') + "\r\0"s).bytes()},
  };
  for (const auto& c : cases) {
    const std::string file = dir_ + "/p.msg";
    std::ofstream(file, std::ios::binary) << c.bytes;
    run_options from_file = in_dir();
    from_file.stdin_file = file;
    run_options from_pipe = in_dir();
    from_pipe.stdin_pipe = true;
    from_pipe.stdin_data = c.bytes;
    for (const char* opt : {"-body", "-ctrl"}) {
      run_result want = run_storlook({opt, "/dev/stdin"}, from_file);
      run_result got = run_storlook({opt, "/dev/stdin"}, from_pipe);
      EXPECT_EQ(got.out, want.out) << c.what;
      EXPECT_EQ(got.err, want.err) << c.what;
      EXPECT_EQ(got.status, 0) << c.what;
    }
  }
}

// Every way of naming a message reads its bytes as the plain name does: a
// link to a file in another folder, a path through .., standard input and
// an inherited descriptor by name, from a file, a pipe or a FIFO, a file
// that comes only while the run waits on a FIFO, and a directory.
TEST_F(Cli, NamedFormsReadAsThePlainName) {
  const std::string elsewhere = make_temp_dir();
  msg_builder().body("\x01PID: x\rHello\r\0"s).write(elsewhere, "m.msg");
  put("m.msg", msg_builder().body("\x01PID: x\rHello\r\0"s));
  std::filesystem::create_directory(dir_ + "/sub");
  ASSERT_EQ(symlink((elsewhere + "/m.msg").c_str(), (dir_ + "/link").c_str()),
            0);
  ASSERT_EQ(mkfifo((dir_ + "/fifo").c_str(), 0600), 0);
  const std::string tool = tool_shell_command() + " -body ";
  const struct {
    std::vector<std::string> named;  // the names as given
    std::string shell;               // how the tool is run
  } cases[] = {
      {{"link"}, tool + "link"},
      {{"sub/../m.msg"}, tool + "sub/../m.msg"},
      {{"./m.msg"}, tool + "./m.msg"},
      {{"/dev/stdin"}, tool + "/dev/stdin <m.msg"},
      {{"/dev/stdin"}, "cat m.msg | " + tool + "/dev/stdin"},
      {{"/dev/stdin"}, "cat m.msg >fifo & " + tool + "/dev/stdin <fifo"},
      {{"/dev/fd/3"}, tool + "/dev/fd/3 3<m.msg"},
      {{"/proc/self/fd/3"}, tool + "/proc/self/fd/3 3<m.msg"},
      {{"fifo", "late.msg"},
       "(cp m.msg late.msg && cat m.msg >fifo) & " + tool + "fifo late.msg"},
      {{"sub"}, tool + "sub"},
      {{"sub/"}, tool + "sub/"},
      {{"."}, tool + "."},
      // A slow writer: the header comes in two parts, a pause between.
      {{"/dev/stdin"}, "(head -c 100 m.msg; sleep 0.3; tail -c +101 m.msg) | " +
                           tool + "/dev/stdin"},
      {{"fifo"}, "(head -c 100 m.msg; sleep 0.3; tail -c +101 m.msg) >fifo & " +
                     tool + "fifo"},
  };
  run_result plain = run({"-body", "m.msg"});
  const std::string report = plain.out.substr(plain.out.find('\n') + 1);
  for (const auto& c : cases) {
    EXPECT_EQ(std::system(("cd " + dir_ + " && rm -f late.msg && (" +
                           c.shell + ") >out 2>err")
                              .c_str()),
              0);
    std::string out, err = plain.err;
    const std::string& first = c.named[0];
    const bool directory = first == "sub" || first == "sub/" || first == ".";
    for (const auto& name : c.named) {
      out += opening(name) + (directory ? "" : report);
    }
    if (directory) {
      err = kBanner + first + ": " + sys_error(EISDIR) + "\n";
    }
    EXPECT_EQ(read_file(dir_ + "/out"), out) << c.shell;
    EXPECT_EQ(read_file(dir_ + "/err"), err) << c.shell;
  }
}

// A report that cannot be written must not end in success, and the reason
// given is the failed write's own, wherever it failed: in the flush before a
// diagnostic, mid-run, or only in the final flush.
TEST_F(Cli, WriteErrorOnStdoutFails) {
  if (!std::ifstream("/dev/full")) {
    GTEST_SKIP() << "no /dev/full here";
  }
  put("a.msg", msg_builder().body(std::string(20000, 'z') + kText));
  put("small.msg", msg_builder());
  const std::string full = "write error: " + sys_error(ENOSPC) + "\n";
  const struct {
    std::vector<std::string> args;
    std::string err;
  } cases[] = {
      {{"-body", "a.msg"}, full},                             // at exit
      {{"-body", "a.msg", "a.msg", "a.msg", "a.msg"}, full},  // mid-run
      {{"small.msg"}, "!No body text\n" + full},
      {{"gone.msg"}, "gone.msg: " + sys_error(ENOENT) + "\n" + full},
  };
  for (const auto& c : cases) {
    run_options o = in_dir();
    o.stdout_path = "/dev/full";
    run_result r = run_storlook(c.args, o);
    EXPECT_EQ(r.err, kBanner + c.err) << ::testing::PrintToString(c.args);
    EXPECT_EQ(r.status, 255) << ::testing::PrintToString(c.args);
  }
}

// A closed stdout loses the report: that must not end in success, and the
// report must not land in the null device opened in its place.
TEST_F(Cli, ClosedStdoutFails) {
  put("a.msg", msg_builder().body(kText));
  const std::string lost = "write error: " + sys_error(EBADF) + "\n";
  const struct {
    const char* redirections;
    std::string err;
  } cases[] = {
      {" -body a.msg a.msg >&- 2>err", kBanner + lost},
      {" -body a.msg a.msg <&- >&- 2>err", kBanner + lost},
      {" -body a.msg a.msg >&- 2>&-", ""},  // nowhere to say why
      {" gone.msg >&- 2>err",
       kBanner + "gone.msg: " + sys_error(ENOENT) + "\n" + lost},
  };
  for (const auto& c : cases) {
    std::remove((dir_ + "/err").c_str());
    const std::string cmd =
        "cd " + dir_ + " && " + tool_shell_command() + c.redirections;
    int status = std::system(cmd.c_str());
    EXPECT_EQ(WEXITSTATUS(status), 255) << c.redirections;
    EXPECT_EQ(read_file(dir_ + "/err"), c.err) << c.redirections;
  }
}

// System calls that fail, one at a time, under strace: the first call of
// its kind whose traced line holds `marker`, found by a run without fault.
TEST_F(Cli, FailingSystemCalls) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "LeakSanitizer does not run under ptrace";
#elif !defined(__GLIBC__)
  GTEST_SKIP() << "the calls it fails are those glibc makes (musl writes "
                  "stdout with writev)";
#endif
  if (tool_command().size() > 1 ||
      std::system("strace -o /dev/null -e inject=getpid:error=EIO true "
                  ">/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "strace cannot inject faults into the tool here";
  }
  put("a.msg", msg_builder().body(std::string(20000, 'z') + kText));
  put("huge.msg", msg_builder().body(std::string(1 << 20, 'y') + "\0"s));
  // Files cut short between their stat and their read: the stat is made to
  // report 100 bytes more than are left.
  put("short.msg", msg_builder().body(std::string(110, 'x')));
  put("long.msg", msg_builder().body(std::string(1500000, 'w')));
  auto grown_stat = [&](const std::string& name) {
    struct stat st {};
    stat((dir_ + "/" + name).c_str(), &st);
    st.st_size += 100;
    std::string hex = "poke_exit=@arg3=";
    for (size_t i = 0; i < offsetof(struct stat, st_size) + sizeof st.st_size;
         ++i) {
      char byte[3];
      std::snprintf(byte, sizeof byte, "%02x",
                    reinterpret_cast<const unsigned char*>(&st)[i]);
      hex += byte;
    }
    return hex;
  };
  const std::string io = "write error: " + sys_error(EIO) + "\n";
  const struct {
    const char* call;
    const char* marker;
    std::string args;
    std::string err;
    int status;
    std::string fault = "error=EIO";
  } cases[] = {
      // The first write that fails gives its reason, even when the rest go
      // out, and not the one a missing file left in errno afterwards.
      {"write", "write(1,", " -body a.msg", io, 255},
      {"write", "write(1,", " -body a.msg a.msg a.msg a.msg a.msg", io, 255},
      {"write", "write(1,", " -body a.msg a.msg a.msg a.msg gone.msg",
       "gone.msg: " + sys_error(ENOENT) + "\n" + io, 255},
      {"close", "close(1)", " -body a.msg", io, 255},
      {"read", "Sysop", " a.msg", "a.msg !Error reading msg hdr (190 bytes)\n",
       0},
      // The final byte of a large file is read on its own; its text past
      // the first block ends where a read fails.
      {"pread64", ", 1, ", " huge.msg",
       "huge.msg !Message missing terminator (FF instead of 00)\n", 0},
      {"read", "\"yyyyyyyy", " -body huge.msg", "", 0},
      {"newfstatat", "st_size=300,", " -body short.msg",
       "short.msg !Message missing terminator (78 instead of 00)\n", 0,
       grown_stat("short.msg")},
      {"newfstatat", "st_size=1500190,", " -body long.msg",
       "long.msg !Message missing terminator (77 instead of 00)\n", 0,
       grown_stat("long.msg")},
  };
  for (const auto& c : cases) {
    const std::string strace = "cd " + dir_ + " && strace -e trace=" + c.call;
    const std::string tool = " " + tool_shell_command() + c.args;
    EXPECT_EQ(
        std::system((strace + " -o trace" + tool + " >/dev/null 2>&1").c_str()),
        0);
    std::istringstream trace(read_file(dir_ + "/trace"));
    int nth = 0;
    for (std::string line; std::getline(trace, line);) {
      ++nth;
      if (line.find(c.marker) != std::string::npos) {
        break;
      }
    }
    int status = std::system((strace + " -o /dev/null -e inject=" + c.call +
                              ":" + c.fault + ":when=" + std::to_string(nth) +
                              tool + " >/dev/null 2>err")
                                 .c_str());
    EXPECT_EQ(WEXITSTATUS(status), c.status) << c.call;
    EXPECT_EQ(read_file(dir_ + "/err"), kBanner + c.err) << c.call;
  }
}

// Without its null device the tool looks at no file, and writes nowhere:
// not into a file that stands in the device's place, nor one it would make
// where /dev has none. Set up in a private mount namespace, which needs root.
TEST_F(Cli, NullDeviceUnavailable) {
  if (std::system("unshare -m true >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "unshare -m is not allowed here";
  }
  put("a.msg", msg_builder().body(kText));
  const struct {
    const char* mounts;
    std::string reason;
  } cases[] = {
      {"mount --bind stand-in /dev/null && "
       "mount -o remount,ro,bind /dev/null",
       sys_error(EROFS)},
      {"mount --bind stand-in /dev/null", "not a character device"},
      {"mount -t tmpfs none /dev", sys_error(ENOENT)},
  };
  for (const auto& c : cases) {
    put_bytes("stand-in", "kept");
    const std::string cmd = "cd " + dir_ + " && unshare -m sh -c '" + c.mounts +
                            " && exec \"$@\" a.msg' sh " +
                            tool_shell_command() + " >out 2>err";
    int status = std::system(cmd.c_str());
    EXPECT_EQ(WEXITSTATUS(status), 255) << c.mounts;
    EXPECT_EQ(read_file(dir_ + "/out"), "") << c.mounts;
    EXPECT_EQ(read_file(dir_ + "/err"),
              kBanner + "/dev/null: " + c.reason + "\n")
        << c.mounts;
    EXPECT_EQ(read_file(dir_ + "/stand-in"), "kept") << c.mounts;
  }
}
#endif  // !_WIN32

// The shipped examples and their pinned dump.
TEST(Examples, DumpIsPinned) {
  run_options o;
  o.cwd = STORLOOK_SOURCE_DIR;
  o.merge_stderr = true;
  run_result r = run_storlook({"-body", "examples/netmail.msg",
                               "examples/echomail.msg", "examples/damaged.msg"},
                              o);
  // Its first line is the banner, which names the version being built.
  std::string pinned = read_file(STORLOOK_SOURCE_DIR "/examples/expected.txt");
  pinned.replace(0, pinned.find('\n'), kBannerLine);
  EXPECT_EQ(r.out, pinned);
  EXPECT_EQ(r.status, 0);
}

}  // namespace
