// SPDX-License-Identifier: GPL-3.0-or-later
// One include seen from one layer of src/: compiled with that layer's view
// (tests/layering/CMakeLists.txt), it builds only when the layer may use
// the header's layer.
#include SONDRIX_PROBE_HEADER
