#pragma once

#include <deque>
#include <string>

// The run's string lists: add at tail, remove at head, read head, count, is-empty.
using StringList = std::deque<std::string>;
