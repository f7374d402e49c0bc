#include "cli/streams.h"

#include "platform/platform.h"

bool open_null_out(const char** why) {
  null_out = open_null_device(why);
  body_out = null_out;
  ctrl_out = null_out;
  return null_out != nullptr;
}

bool apply_option(const char* arg) {
  switch (arg[1]) {
    case 'b':
    case 'B':
      body_out = stdout;
      ctrl_out = stdout;
      return true;
    case 'c':
    case 'C':
      ctrl_out = stdout;
      return true;
    default:
      return false;
  }
}
