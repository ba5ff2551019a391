#pragma once

#include <functional>

namespace archiv::app {

// Runs an event handler; a server error or a file error that reaches its top
// is shown to the user as a message, and the program goes on. Returns false
// when that happened.
bool ereignis(const std::function<void()> &handler);

} // namespace archiv::app
