// sondrix: the desktop application.
#include "sondrix_main.h"

int main(int argc, char** argv) { return sondrix::SondrixMain(argc, argv); }
