// SPDX-License-Identifier: GPL-3.0-or-later
// The one place where running out of memory becomes a status: work that
// allocates (creating an object, copying or sizing a table) runs through
// CatchOutOfMemory, and std::bad_alloc comes out as -1016 ("Out of memory")
// instead of ending the program.
#pragma once

#include <new>
#include <type_traits>
#include <utility>

#include "common/status.h"

namespace sondrix {

// Runs `work`. Its own status (1 for work that returns nothing), or -1016
// when it ran out of memory; what it changed before that stays changed.
template <class Work>
Status CatchOutOfMemory(Work&& work) {
  try {
    if constexpr (std::is_void_v<std::invoke_result_t<Work>>) {
      std::forward<Work>(work)();
      return status::kOk;
    } else {
      return std::forward<Work>(work)();
    }
  } catch (const std::bad_alloc&) {
    return status::kOutOfMemory;
  }
}

}  // namespace sondrix
