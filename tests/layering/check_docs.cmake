# SPDX-License-Identifier: GPL-3.0-or-later
# cmake -D TABLE=<build>/layers/table.txt -D DOC=docs/architecture.md -P check_docs.cmake
# Fails unless DOC shows the table of layers whole, ending a fenced block.
file(READ ${TABLE} table)
file(READ ${DOC} doc)
string(FIND "${doc}" "\n${table}```" at)
if(at EQUAL -1)
  message(FATAL_ERROR "${DOC} does not show the layers of src/CMakeLists.txt, which are:\n${table}")
endif()
