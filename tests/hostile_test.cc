// Damaged and hostile inputs: each gives a clear result and the run goes on.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;
#endif
#ifdef __linux__
#include <arpa/inet.h>
#include <linux/filter.h>
#include <linux/futex.h>
#include <linux/openat2.h>
#include <linux/seccomp.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <sys/un.h>
#include <sys/xattr.h>
#include <termios.h>
#ifndef MADV_SOFT_OFFLINE
#define MADV_SOFT_OFFLINE 101
#endif
#endif

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "cli/confine.h"
#include "cli/landlock.h"
#include "format/msg_header.h"
#include "tests/tool_test.h"

namespace {

using namespace std::string_literals;

class Hostile : public tool_test {};

// Every header byte 0xFF: every field unterminated, every flag, every
// network number at its largest; the text never ends in a NUL.
TEST_F(Hostile, AllBytesFF) {
  const std::string ff(1, '\xFF');
  const std::string report =
      "Subj: " + std::string(71, '\xFF') +
      "\nAttr: 0xFFFF (PRIVATE, CRASH, RECV, SENT, FILE, INTRANS, ORPHAN, "
      "KILLSENT, LOCAL, HOLD, FREQ, RRREQ, RR, AUDIT, FUPREQ)\n" +
      "To  : " + std::string(35, '\xFF') + " (65535:65535/65535.65535)\n" +
      "From: " + std::string(35, '\xFF') + " (65535:65535/65535.65535)\n" +
      "Time: " + std::string(19, '\xFF') + "\n";
  const std::string warnings =
      " !Message missing terminator (FF instead of 00)\n"
      " Unterminated 'from' field\n Unterminated 'to' field\n"
      " Unterminated 'subj' field\n Unterminated 'time' field\n";
  auto prefixed = [&](const std::string& path) {
    std::string out;
    size_t start = 0;
    for (size_t nl; (nl = warnings.find('\n', start)) != std::string::npos;
         start = nl + 1) {
      out += path + warnings.substr(start, nl + 1 - start);
    }
    return out;
  };
  put_bytes("h.msg", std::string(kHeaderSize, '\xFF'));
  put_bytes("t.msg", std::string(400, '\xFF'));
  run_result r = run_storlook({"-body", "h.msg", "t.msg"}, in_dir());
  EXPECT_EQ(r.out, "Opening h.msg\n" + report + "Opening t.msg\n" + report +
                       "\n-start of message text-\n" +
                       std::string(210, '\xFF') + "-end of message text-\n\n");
  EXPECT_EQ(r.err, kBanner + prefixed("h.msg") + "!No body text\n" +
                       prefixed("t.msg"));
  EXPECT_EQ(r.status, 0);
}

#ifndef _WIN32
// A terabyte file, nearly all hole: either no memory for its text or a dump
// that stops at its first NUL; never minutes of reading or an exhausted
// machine.
TEST_F(Hostile, SparseTerabyte) {
  const std::string path = dir_ + "/huge.msg";
  msg_builder().body("Hi\r").write(dir_, "huge.msg");
  if (truncate(path.c_str(), off_t(1) << 40) != 0) {
    GTEST_SKIP() << "no sparse 1 TiB file here";
  }
  run_options o = in_dir();
  o.timeout_s = 30;
  auto start = std::chrono::steady_clock::now();
  run_result r = run_storlook({"-body", "huge.msg"}, o);
  auto secs =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start);
  EXPECT_LT(secs.count(), 20.0);
  EXPECT_EQ(r.status, 0);
  // AddressSanitizer, where built in, warns of the failed allocation.
  size_t asan = r.err.find("==");
  if (asan != std::string::npos &&
      r.err.find("WARNING: AddressSanitizer", asan) != std::string::npos) {
    r.err.erase(asan, r.err.find('\n', asan) + 1 - asan);
  }
  const std::string head = "Opening huge.msg\n" + kReport;
  if (r.err == kBanner + "!MALLOC failure\n") {
    EXPECT_EQ(r.out, head);
  } else {
    EXPECT_EQ(r.err, kBanner);
    EXPECT_EQ(
        r.out,
        head + "\n-start of message text-\nHi\n-end of message text-\n\n");
  }
}

// A device that never ends but can seek is measured by seeking, like a file,
// not read to its end (which would never come).
TEST_F(Hostile, EndlessDevice) {
  run_options o = in_dir();
  o.timeout_s = 10;
  run_result r = run_storlook({"-body", "/dev/zero"}, o);
  EXPECT_EQ(r.out, opening("/dev/zero") +
                       "Subj: \nAttr: 0x0000 \nTo  :  (0:0/0.0)\n"
                       "From:  (0:0/0.0)\nTime: \n");
  EXPECT_EQ(r.err, kBanner + "!No body text\n");
  EXPECT_EQ(r.status, 0);
}

// A named pipe reads like the same bytes from a file. While the tool waits
// for its writer, its Opening line is already out, so that a stuck run shows
// which file it waits on: the writer comes only once it sees that line.
TEST_F(Hostile, NamedPipe) {
  const std::string bytes =
      msg_builder().body("\x01PID: x\rHello\r\0"s).bytes();
  put_bytes("plain.msg", bytes);
  const std::string fifo = dir_ + "/fifo.msg", out = dir_ + "/out";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  // Both ends are bounded: a tool that never opens the FIFO leaves the writer
  // to its alarm, not the suite hanging.
  pid_t writer = fork();
  if (writer == 0) {
    alarm(10);
    int waited = 0;
    while (read_file(out).find("Opening fifo.msg\n") == std::string::npos &&
           ++waited < 500) {
      usleep(10000);
    }
    std::ofstream(fifo, std::ios::binary) << bytes;
    _exit(waited < 500 ? 0 : 1);
  }
  run_options o = in_dir();
  o.timeout_s = 10;
  o.stdout_path = out;
  run_result got = run_storlook({"-body", "fifo.msg"}, o);
  int writer_status = -1;
  waitpid(writer, &writer_status, 0);
  EXPECT_EQ(writer_status, 0) << "the Opening line was not out while waiting";
  run_result want = run_storlook({"-body", "plain.msg"}, in_dir());
  EXPECT_EQ(read_file(out),
            "Opening fifo.msg" + want.out.substr(want.out.find('\n')));
  EXPECT_EQ(got.err, want.err);
  EXPECT_EQ(got.status, 0);
}

// Each file is closed before the next is opened, directories too: ten
// thousand files pass under a limit of 16 descriptors, and one that vanished
// before the run is reported in its place.
TEST_F(Hostile, ManyFilesFewDescriptors) {
  msg_builder().body("Hi\r\0"s).write(dir_, "a.msg");
  msg_builder().write(dir_, "gone.msg");
  unlink((dir_ + "/gone.msg").c_str());
  mkdir((dir_ + "/sub").c_str(), 0700);
  std::vector<std::string> args(10000, "a.msg");
  std::fill(args.begin(), args.begin() + 20, "sub");
  args[5000] = "gone.msg";
  run_options o = in_dir();
  o.max_fds = 16;
  run_result r = run_storlook(args, o);
  std::string out, err = kBanner;
  for (const auto& a : args) {
    out += "Opening " + a + "\n" + (a == "a.msg" ? kReport + "\n" : "");
    err += a == "sub" ? "sub: " + sys_error(EISDIR) + "\n" : "";
  }
  EXPECT_EQ(r.out, out);
  EXPECT_EQ(r.err, err + "gone.msg: " + sys_error(ENOENT) + "\n");
  EXPECT_EQ(r.status, 0);
}

#ifdef __linux__
// procfs reports a size of 0 for files with content: such a file reads like
// the same bytes from a regular file, not as a header and one byte.
TEST_F(Hostile, ProcfsFileReadsWhole) {
  std::string environment;
  for (char** e = environ; *e; ++e) {
    environment.append(*e, std::strlen(*e) + 1);
  }
  put_bytes("env.msg", environment);
  run_result want = run({"-body", "env.msg"});
  run_result got = run({"-body", "/proc/self/environ"});
  auto renamed = [](std::string s) {
    for (size_t at; (at = s.find("/proc/self/environ")) != std::string::npos;) {
      s.replace(at, 18, "env.msg");
    }
    return s;
  };
  EXPECT_EQ(renamed(got.out), want.out);
  EXPECT_EQ(renamed(got.err), want.err);
}

#endif  // __linux__

class Slow : public tool_test {};

// Text kept from a pipe, until memory runs out: the text is refused as a
// whole, as from a file, and the run goes on.
TEST_F(Slow, PipedTextBeyondMemory) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer needs more address space than the limit";
#endif
  if (tool_command().size() > 1) {
    GTEST_SKIP() << "the emulator needs more address space than the limit";
  }
  put("a.msg", msg_builder().body("Hi\r\0"s));
  run_options o = in_dir();
  o.stdin_pipe = true;
  o.stdin_data = msg_builder().body(std::string(150000000, 't')).bytes();
  o.max_memory_kb = 300000;
  run_result r = run_storlook({"-body", "/dev/stdin", "a.msg"}, o);
  EXPECT_EQ(r.out, opening("/dev/stdin") + kReport + opening("a.msg") +
                       kReport + "\n-start of message text-\nHi\n" +
                       "-end of message text-\n\n");
  EXPECT_EQ(r.err, kBanner +
                       "/dev/stdin !Message missing terminator (74 instead "
                       "of 00)\n!MALLOC failure\n");
  EXPECT_EQ(r.status, 0);
}

// A text that no stream shows is not kept from a pipe: the same bytes fit
// the memory of a file, and read alike.
TEST_F(Hostile, PipedTextNotShownIsNotKept) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer needs more address space than the limit";
#endif
  if (tool_command().size() > 1) {
    GTEST_SKIP() << "the emulator needs more address space than the limit";
  }
  put("big.msg", msg_builder().body(std::string(70000000, 't') + "\0"s));
  run_options from_file = in_dir();
  from_file.stdin_file = dir_ + "/big.msg";
  from_file.max_memory_kb = 150000;
  run_options from_pipe = from_file;
  from_pipe.stdin_file.clear();
  from_pipe.stdin_pipe = true;
  from_pipe.stdin_data = read_file(dir_ + "/big.msg");
  run_result want = run_storlook({"/dev/stdin"}, from_file);
  run_result got = run_storlook({"/dev/stdin"}, from_pipe);
  EXPECT_EQ(want.out, opening("/dev/stdin") + kReport + "\n");
  EXPECT_EQ(got.out, want.out);
  EXPECT_EQ(got.err, want.err);
  EXPECT_EQ(got.status, 0);
}

#ifdef __linux__
// Whether `f`, run in a child, exits with 0 rather than dying or failing.
bool exits_cleanly(void (*f)()) {
  pid_t child = fork();
  if (child == 0) {
    f();
    _exit(0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void take_filter() {  // qemu-user, for one, takes no filter
  sock_filter allow = BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW);
  sock_fprog prog{1, &allow};
  if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
      prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &prog) != 0) {
    _exit(1);
  }
}

// What each Landlock ABI knows, from the kernel's landlock.h: the tool
// handles all of it, and nothing more, since a kernel refuses a whole ruleset
// that names a right it does not know.
TEST(Confine, LandlockRightsOfEachAbi) {
  const struct {
    long abi;
    uint64_t fs, net, scoped;
  } abis[] = {{1, 0x1FFF, 0, 0}, {2, 0x3FFF, 0, 0}, {3, 0x7FFF, 0, 0},
              {4, 0x7FFF, 3, 0}, {5, 0xFFFF, 3, 0}, {6, 0xFFFF, 3, 3},
              {7, 0xFFFF, 3, 3}};
  for (const auto& a : abis) {
    landlock_rights r = landlock_rights_for(a.abi);
    EXPECT_EQ(r.fs, a.fs) << "ABI " << a.abi;
    EXPECT_EQ(r.net, a.net) << "ABI " << a.abi;
    EXPECT_EQ(r.scoped, a.scoped) << "ABI " << a.abi;
  }
}

// Code that took over the tool through a crafted message can read files and
// write to the tool's own streams, and nothing more. Each attempt below must
// fail with the error of the layer that refuses it, and fails the test when it
// gets through: the filter refuses by an argument rule with EPERM, and any
// call it does not name with ENOSYS, whatever the kernel; Landlock's one row
// (abi 1) holds wherever the kernel has Landlock.
TEST_F(Hostile, ConfinedProcessOnlyReads) {
  if (!exits_cleanly(take_filter)) {
    GTEST_SKIP() << "no seccomp filter can be installed here";
  }
  long abi = syscall(SYS_landlock_create_ruleset, nullptr, 0, 1u);
  put_bytes("a.msg", "readable");
  const std::string a = dir_ + "/a.msg", other = dir_ + "/b";
  sockaddr_in tcp{};
  tcp.sin_family = AF_INET;
  tcp.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  tcp.sin_port = htons(9);
  auto to = [](auto& addr) { return reinterpret_cast<sockaddr*>(&addr); };
  // Unix sockets listening outside the confined process: an abstract one,
  // and one by path, as a session bus or an agent listens.
  sockaddr_un abstract{}, by_path{};
  abstract.sun_family = by_path.sun_family = AF_UNIX;
  const std::string name = "storlook-test-" + std::to_string(getpid());
  name.copy(abstract.sun_path + 1, sizeof abstract.sun_path - 2);
  auto unix_len = socklen_t(offsetof(sockaddr_un, sun_path) + 1 + name.size());
  (dir_ + "/sock").copy(by_path.sun_path, sizeof by_path.sun_path - 1);
  int listeners[] = {socket(AF_UNIX, SOCK_STREAM, 0),
                     socket(AF_UNIX, SOCK_STREAM, 0)};
  ASSERT_EQ(bind(listeners[0], to(abstract), unix_len), 0);
  ASSERT_EQ(bind(listeners[1], to(by_path), sizeof by_path), 0);
  for (int l : listeners) {
    ASSERT_EQ(listen(l, 1), 0);
  }
  // A pseudo-terminal, which the child takes as its controlling terminal.
  int pty = posix_openpt(O_RDWR | O_NOCTTY);
  if (pty < 0 || grantpt(pty) != 0 || unlockpt(pty) != 0) {
    GTEST_SKIP() << "no pseudo-terminal here (/dev/pts not mounted)";
  }
  const std::string tty_path = ptsname(pty);
  // Opened by the child before it is confined, as a caller may leave them
  // open: a file of the user's, two TCP sockets, an abstract Unix socket, the
  // terminal as stdin, a process of the user's (the victim) with its pidfd,
  // and, opened after the null device, a pipe's end and the message file.
  int held = -1, tcp_fds[2] = {-1, -1}, abstract_fd = -1, tty = -1;
  int out = -1, pidfd = -1, late = -1, pipe_end = -1;
  pid_t victim = -1;
  auto program = [](int fd) {  // ends the child with 98 if it runs
    char sh[] = "sh", c[] = "-c", exit98[] = "exit 98";
    char* argv[] = {sh, c, exit98, nullptr};
    return fd < 0 ? execv("/bin/sh", argv) : fexecve(fd, argv, environ);
  };
  constexpr long kFilter = 0, kNever = 1L << 30;
  // The sanitizers' leak check stops the world with ptrace from a thread.
#if defined(__SANITIZE_ADDRESS__)
  // and reads its own /proc.
  constexpr long kPtrace = 1, kClone = kNever, kOwnProc = kNever;
  constexpr int kPtraceRefusal = EPERM;
#else
  constexpr long kPtrace = kFilter, kClone = kFilter, kOwnProc = 1;
  constexpr int kPtraceRefusal = ENOSYS;
#endif
  // s390x's mmap takes its arguments in memory, so the filter does not name it.
#if defined(__s390x__)
  constexpr int kMmapRefusal = ENOSYS;
#else
  constexpr int kMmapRefusal = EPERM;
#endif
  const std::string elsewhere = make_temp_dir() + "/secret";
  std::ofstream(elsewhere) << "secret";
  int word = 0;  // a futex
  alignas(4096) static char page[4096];
  auto mapped = [](void* p) { return p == MAP_FAILED ? -1L : 0L; };
  // Each row: from which Landlock ABI the attempt is refused (kFilter: by the
  // filter, whatever the ABI), and with what; then the same where the filter
  // could not be installed and Landlock holds alone (kNever: it does not).
  const struct {
    long abi;
    int refusal;
    long alone;
    int alone_refusal;
    std::function<long()> attempt;  // -1 with errno set when refused
  } checks[] = {
    // Files are opened for reading only.
    {kFilter, EPERM, 1, EACCES,
     [&] { return open(other.c_str(), O_WRONLY | O_CREAT, 0600); }},
    {kFilter, EPERM, 1, EACCES,
     [&] { return open(other.c_str(), O_RDONLY | O_CREAT, 0600); }},
    {kFilter, EPERM, 1, EACCES, [&] { return open(a.c_str(), O_WRONLY); }},
    {kFilter, EPERM, 1, EACCES, [&] { return open(a.c_str(), O_RDWR); }},
    {kFilter, EPERM, 3, EACCES,
     [&] { return open(a.c_str(), O_RDONLY | O_TRUNC); }},
    {kFilter, EPERM, kNever, 0,
     [&] { return open(dir_.c_str(), O_RDONLY | O_TMPFILE, 0600); }},
#ifdef SYS_open
    {kFilter, EPERM, 3, EACCES,
     [&] { return syscall(SYS_open, a.c_str(), O_RDONLY | O_TRUNC); }},
#endif
    // Only what was named is read: no device, no file in another folder,
    // nothing of /proc but what was named.
    {1, EACCES, 1, EACCES, [] { return open("/dev/zero", O_RDONLY); }},
    {1, EACCES, 1, EACCES,
     [&] { return open(elsewhere.c_str(), O_RDONLY); }},
    {kOwnProc, EACCES, kOwnProc, EACCES,
     [] { return open("/proc/self/environ", O_RDONLY); }},
    // Of the descriptors it shares with its caller, it writes to its output
    // streams only, and reads, seeks or changes none.
    {kFilter, EPERM, kNever, 0, [&] { return write(held, "x", 1); }},
    {kFilter, EPERM, kNever, 0,
     [&] {
       iovec x{const_cast<char*>("x"), 1};
       return writev(held, &x, 1);
     }},
    {kNever, EPERM, kNever, 0, [&] { return write(out, "x", 1); }},
    {kFilter, EPERM, kNever, 0, [&] {
       char c;
       return read(late, &c, 1);
     }},
    {kFilter, EPERM, kNever, 0, [&] { return lseek(held, 0, SEEK_END); }},
    {1, EACCES, 1, EACCES,
     [&] {
       const std::string again = "/proc/self/fd/" + std::to_string(pipe_end);
       return open(again.c_str(), O_RDONLY | O_NONBLOCK);
     }},
    {kFilter, EPERM, kNever, 0, [] { return fcntl(0, F_SETFL, O_ASYNC); }},
    {kFilter, kMmapRefusal, kNever, 0,
     [&] {
       return mapped(mmap(nullptr, 1, PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS,
                          -1, 0));
     }},
    // Memory of its own only, never executable; no shared futex.
    {kFilter, kMmapRefusal, kNever, 0,
     [&] { return mapped(mmap(nullptr, 1, PROT_READ, MAP_PRIVATE, held, 0)); }},
    {kFilter, kMmapRefusal, kNever, 0,
     [&] {
       return mapped(mmap(nullptr, 1, PROT_WRITE | PROT_EXEC,
                          MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
     }},
    {kFilter, EPERM, kNever, 0,
     [] { return mprotect(page, sizeof page, PROT_READ | PROT_EXEC); }},
    {kNever, EPERM, kNever, 0, [] { return madvise(page, 0, MADV_DONTNEED); }},
    {kFilter, EPERM, kNever, 0, [] { return madvise(page, 0, MADV_HWPOISON); }},
    {kFilter, EPERM, kNever, 0,
     [] { return madvise(page, 0, MADV_SOFT_OFFLINE); }},
    {kFilter, EPERM, kNever, 0,
     [&] { return syscall(SYS_futex, &word, FUTEX_WAKE, 1, 0, 0, 0); }},
    // Calls that the filter does not name: files changed by name or through
    // a descriptor, programs, sockets, other processes, namespaces, locks.
    {kFilter, ENOSYS, 1, EACCES, [&] { return unlink(a.c_str()); }},
    {kFilter, ENOSYS, 1, EACCES,
     [&] { return rename(a.c_str(), other.c_str()); }},
    {kFilter, ENOSYS, 1, EACCES, [&] { return link(a.c_str(), other.c_str()); }},
    {kFilter, ENOSYS, 1, EACCES, [&] { return mkdir(other.c_str(), 0700); }},
    {kFilter, ENOSYS, 3, EACCES, [&] { return truncate(a.c_str(), 0); }},
    {kFilter, ENOSYS, kNever, 0, [&] { return ftruncate(held, 0); }},
    {kFilter, ENOSYS, kNever, 0, [&] { return fchmod(held, 0644); }},
    {kFilter, ENOSYS, kNever, 0,
     [&] { return setxattr(a.c_str(), "user.storlook", "x", 1, 0); }},
    {kFilter, ENOSYS, 1, EACCES, [&] { return program(-1); }},
    {kFilter, ENOSYS, kNever, 0, [&] { return memfd_create("sh", 0); }},
    {kFilter, ENOSYS, kNever, 0,
     [&] {
       int s = socket(AF_UNIX, SOCK_STREAM, 0);
       return s < 0 ? s : connect(s, to(by_path), sizeof by_path);
     }},
    {kFilter, ENOSYS, 4, EACCES,
     [&] { return connect(tcp_fds[0], to(tcp), sizeof tcp); }},
    {kFilter, ENOSYS, 4, EACCES,
     [&] { return bind(tcp_fds[1], to(tcp), sizeof tcp); }},
    {kFilter, ENOSYS, 6, EPERM,
     [&] { return connect(abstract_fd, to(abstract), unix_len); }},
    {kPtrace, kPtraceRefusal, 1, EPERM,
     [&] { return ptrace(PTRACE_ATTACH, victim, 0, 0); }},
    {kFilter, ENOSYS, kNever, 0,
     [] {
       char from = 'x', into = 0;
       iovec local{&into, 1}, remote{&from, 1};
       return process_vm_readv(getpid(), &local, 1, &remote, 1, 0);
     }},
    {kFilter, ENOSYS, 1, EPERM,
     [&] { return syscall(SYS_pidfd_getfd, pidfd, 0, 0); }},
    {kFilter, ENOSYS, kNever, 0,
     [&] {
       rlimit none{0, 0};
       return prlimit(victim, RLIMIT_FSIZE, &none, nullptr);
     }},
    {kFilter, ENOSYS, kNever, 0,
     [&] { return setpriority(PRIO_PROCESS, id_t(victim), 19); }},
    {kFilter, ENOSYS, kNever, 0,
     [&] {
       cpu_set_t one;
       CPU_ZERO(&one);
       CPU_SET(0, &one);
       return sched_setaffinity(victim, sizeof one, &one);
     }},
    {kFilter, ENOSYS, kNever, 0, [] { return unshare(CLONE_NEWUSER); }},
    {kClone, ENOSYS, kNever, 0,
     [] {
       long pid = syscall(SYS_clone, CLONE_NEWUSER | SIGCHLD, 0, 0, 0, 0);
       if (pid == 0) {
         _exit(0);
       }
       return pid;
     }},
    {kFilter, ENOSYS, kNever, 0,
     [] { return syscall(SYS_finit_module, -1, "", 0); }},
    {kFilter, ENOSYS, kNever, 0, [&] { return flock(held, LOCK_EX); }},
    {kFilter, ENOSYS, kNever, 0,
     [&] {
       open_how how{};
       return syscall(SYS_openat2, AT_FDCWD, a.c_str(), &how, sizeof how);
     }},
    {kFilter, ENOSYS, kNever, 0,
     [] { return syscall(SYS_getcpu, nullptr, nullptr, nullptr); }},
    // The argument rules of ioctl (the terminal is the child's stdin),
    // signals and fcntl.
    {kFilter, EPERM, kNever, 0, [] { return ioctl(0, TIOCSTI, "x"); }},
    {kNever, EPERM, kNever, 0,
     [] {
       winsize size;
       return ioctl(0, TIOCGWINSZ, &size);
     }},
    {kFilter, EPERM, kNever, 0,
     [&] {
       termios t;
       return ioctl(tty, TCGETS, &t);
     }},
    {kFilter, EPERM, 6, EPERM, [&] { return kill(victim, 0); }},
    {kNever, EPERM, kNever, 0, [] { return kill(getpid(), 0); }},
    {kFilter, EPERM, kNever, 0,
     [&] {
       struct flock lock {};
       lock.l_type = F_WRLCK;
       return fcntl(held, F_SETLK, &lock);
     }},
    {kFilter, EPERM, kNever, 0, [&] { return fcntl(held, F_DUPFD, 1); }},
#if defined(__x86_64__)
    // The same call in the x32 numbering.
    {kFilter, EPERM, kNever, 0,
     [] { return syscall(0x40000000 + SYS_getpid); }},
#endif
    // Another process's memory, read through /proc by path: Landlock's.
    {1, EACCES, 1, EACCES,
     [&] {
       return open(("/proc/" + std::to_string(victim) + "/mem").c_str(),
                   O_RDONLY);
     }},
  };
  // The kernel's own Landlock ABI, each older one the tool must also get
  // right (a right the kernel does not know would make it refuse the whole
  // ruleset), and none; last, the kernel's own where the filter cannot be
  // installed (a caller's own filter refuses it), and Landlock holds alone.
  const long runs = std::max(abi, 0L) + 1 + (abi >= 1);
  for (long run = 0; run < runs; ++run) {
    const bool alone = run == std::max(abi, 0L) + 1;
    const long as_abi = alone ? abi : std::max(abi, 0L) - run;
    pid_t child = fork();
    if (child == 0) {
      held = open((dir_ + "/held").c_str(), O_RDWR | O_CREAT, 0600);
      for (int& fd : tcp_fds) {
        fd = socket(AF_INET, SOCK_STREAM, 0);
      }
      abstract_fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
      setsid();
      tty = open(tty_path.c_str(), O_RDWR);
      dup2(tty, 0);
      out = open("/dev/null", O_WRONLY);
      // The victim dies with the child, and is told so before it can be
      // stopped by a check that traces it.
      int ready[2];
      if (pipe(ready) != 0 || (victim = fork()) < 0) {
        _exit(101);
      }
      if (victim == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        _exit(write(ready[1], "r", 1) == 1 ? pause() : 0);
      }
      char r;
      if (read(ready[0], &r, 1) != 1) {
        _exit(101);
      }
      pidfd = int(syscall(SYS_pidfd_open, victim, 0));
      pipe_end = ready[0];
      late = open(a.c_str(), O_RDONLY);
      if (alone) {  // a filter of the caller's refuses the tool's
        sock_filter no_filter[] = {
            BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
            BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_prctl, 0, 3),
            BPF_STMT(BPF_LD | BPF_W | BPF_ABS,
                     offsetof(seccomp_data, args) +
                         (__BYTE_ORDER__ == __ORDER_BIG_ENDIAN__ ? 4 : 0)),
            BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, PR_SET_SECCOMP, 0, 1),
            BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EACCES),
            BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW)};
        sock_fprog prog{6, no_filter};
        prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0);
        prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &prog);
      }
      // Confined by both layers, or by the filter alone where Landlock is
      // missing; both need no_new_privs unless the caller is root, as here.
      // A device named is read, not its folder. A pipe named as
      // /proc/self/fd/N stays; pipe_end, not named, goes.
      int named_pipe[2];
      if (pipe(named_pipe) != 0) {
        _exit(101);
      }
      const std::string thread = "/proc/thread-self/status",
                        piped = "/proc/self/fd/" + std::to_string(named_pipe[0]);
      bool both = confine_process(
          out, {a.c_str(), thread.c_str(), piped.c_str(), "/dev/full"}, as_abi);
      // Read by hand: the sanitizers check a stream's type by calls the
      // filter refuses.
      auto slurp = [](const std::string& path) {
        char buf[4096];
        int fd = open(path.c_str(), O_RDONLY);
        ssize_t n = fd < 0 ? 0 : read(fd, buf, sizeof buf);
        close(fd);
        return std::string(buf, size_t(std::max(n, ssize_t(0))));
      };
      const std::string status = slurp(thread);
      if (both != (as_abi >= 1 && !alone) ||
          status.find("NoNewPrivs:\t1\nSeccomp:\t2\n") == std::string::npos) {
        _exit(100);
      }
      for (size_t i = 0; i < sizeof checks / sizeof checks[0]; ++i) {
        const long from = alone ? checks[i].alone : checks[i].abi;
        if (alone && from > as_abi) {
          continue;  // not refused by Landlock alone: it would be done
        }
        errno = 0;
        bool refused = checks[i].attempt() == -1 &&
                       errno == (alone ? checks[i].alone_refusal
                                       : checks[i].refusal);
        if (refused != (from == kFilter || as_abi >= from)) {
          _exit(int(i) + 1);
        }
      }
      _exit(slurp(a) == "readable" ? 0 : 99);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0)
        << "as Landlock ABI " << as_abi << " of " << abi
        << (alone ? ", without the filter" : "")
        << "; 100: not confined as it should be, 99: reading failed, 98: a "
        << "program ran, else the number of the check that went wrong";
  }
  for (int fd : {listeners[0], listeners[1], pty}) {
    close(fd);
  }
}

#if defined(__x86_64__)
long call_32_bit_getpid() {
  long got = 20;
  asm volatile("int $0x80"
               : "+a"(got)
               : "b"(0)
               : "rcx", "r8", "r9", "r10", "r11", "memory");
  return got;
}

// Calls through the 32-bit entry, where numbers mean other calls (13 is
// time there, and a call the filter allows here), are refused; a kernel
// without that entry (ia32_emulation=0) kills the caller instead.
TEST(Confine, ThirtyTwoBitCallsRefused) {
  if (!exits_cleanly(take_filter)) {
    GTEST_SKIP() << "no seccomp filter can be installed here";
  }
  if (!exits_cleanly([] { call_32_bit_getpid(); })) {
    GTEST_SKIP() << "this kernel has no 32-bit entry: no call to refuse";
  }
  EXPECT_TRUE(exits_cleanly([] {
    confine_process(2, {});
    _exit(call_32_bit_getpid() == -EPERM ? 0 : 1);
  }));
}
#endif

#endif  // __linux__
#endif  // !_WIN32

}  // namespace
