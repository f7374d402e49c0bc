// Shared by the end-to-end tests: the tool's fixed texts, and a fixture with
// a fresh directory to write message files into.
#ifndef STORLOOK_TESTS_TOOL_TEST_H_
#define STORLOOK_TESTS_TOOL_TEST_H_

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "tests/msg_builder.h"
#include "tests/run_tool.h"

inline const std::string kBannerLine =
    "storlook rev " STORLOOK_VERSION " - Dump FidoNet Stored Messages";
inline const std::string kBanner = kBannerLine + "\n\n";
inline const std::string kUsage =
    "usage: storlook [-body | -ctrl] <file1.msg> [file2.msg] [...]\n";
// The report of msg_builder's default header.
inline const std::string kReport =
    "Subj: Test\n"
    "Attr: 0x0181 (PRIVATE, KILLSENT, LOCAL)\n"
    "To  : All (1:234/56.0)\n"
    "From: Sysop (2:345/67.8)\n"
    "Time: 15 Mar 21  08:30:00\n";

/// The system's own text for an error number, as the tool prints it.
inline std::string sys_error(int err) {
  return std::strerror(err);
}

inline std::string opening(const std::string& path) {
  return "Opening " + path + "\n";
}

class tool_test : public ::testing::Test {
 protected:
  std::string dir_ = make_temp_dir();

  run_options in_dir() const {
    run_options o;
    o.cwd = dir_;
    return o;
  }
  run_result run(const std::vector<std::string>& args) const {
    return run_storlook(args, in_dir());
  }
  std::string put(const std::string& name, const msg_builder& b) const {
    b.write(dir_, name);
    return name;
  }
  void put_bytes(const std::string& name, const std::string& bytes) const {
    std::ofstream(dir_ + "/" + name, std::ios::binary) << bytes;
  }
};

#endif  // STORLOOK_TESTS_TOOL_TEST_H_
