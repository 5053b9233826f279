#pragma once

#include <cstddef>
#include <string>

#include "results/resulttable.h"

// Text bound for a terminal: every line's bytes with their controls escaped (\xHH), the line
// ends themselves kept.
std::string TerminalLines(const std::string& text);

// The longest start of text (valid UTF-8) that fills at most columns terminal columns, cut
// between characters; a character's width is wcwidth's in the user's locale.
std::string FitColumns(const std::string& text, std::size_t columns);

// The rows with every cell's controls escaped, for a report shown on a terminal.
CResultTable TerminalRows(const CResultRows& rows);
