// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "FaultPlan.h"
#include "LoaderBoard.h"

namespace sim {

// The board as its options choose it: the loader's setup and its faults.
struct BoardOptions {
    BoardSetup board;
    ScriptedFaults faults;
};

// Reads the board option at args[i] (with its value, moving `i` past it) into
// `options`. Returns false when args[i] is not a board option; `error` is set
// when it is one whose value is wrong.
bool TakeBoardOption(const std::vector<std::string>& args, std::size_t& i, BoardOptions& options,
                     std::string& error);

// Every option of `words` (separated by white space) as a board option, for
// the bodies that take the board's options in one text. An error text, or
// empty on success.
std::string ParseBoardOptions(const std::string& words, BoardOptions& options);

// The board's options, as --help lists them (its faults are listed by
// ScriptedFaults::Help()).
const char* BoardOptionsHelp();

}  // namespace sim
