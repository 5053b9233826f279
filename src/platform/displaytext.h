#pragma once

#include <QString>
#include <string>

namespace platform {

// Shows bytes whatever their encoding: UTF-8 when they are valid UTF-8, else Latin-1, so every
// byte shows as some character. The grid, the progress window and the repair failure dialog
// all show paths, links and anchor names through it, so the same bytes read the same in each.
QString DisplayText(const std::string& bytes);

}  // namespace platform
