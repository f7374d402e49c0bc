# Writes the licence as a Debian machine-readable copyright file:
#   cmake -DLICENSE=... -DOUT=... -P copyright.cmake
file(READ "${LICENSE}" licence)
string(REGEX MATCH "Copyright \\(c\\) ([^\n]*)" notice "${licence}")
set(holder "${CMAKE_MATCH_1}")
# The terms after the notice, indented, each blank line written as " .".
string(REGEX REPLACE "^.*Copyright \\(c\\) [^\n]*\n\n" "" terms "${licence}")
string(REPLACE "\n\n" "\n.\n" terms "${terms}")
string(REGEX REPLACE "\n([^\n])" "\n \\1" terms " ${terms}")
file(WRITE "${OUT}"
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: storlook

Files: *
Copyright: ${holder}
License: Expat
${terms}")
