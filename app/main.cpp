// SPDX-License-Identifier: GPL-3.0-or-later
// sondrix: the desktop application.
#include "sondrix_main.h"

int main(int argc, char** argv) { return sondrix::SondrixMain(argc, argv); }
