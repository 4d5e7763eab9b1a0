// The display of an error that escapes an event handler or start-up.
#pragma once

#include <functional>
#include <string>

// The error's message, with a full stop appended when it is not empty and its last
// character has a code above that of the full stop.
std::string ExceptionDisplayText(const std::string& message);

// Runs an action; an error escaping it is shown with a stop icon under the application's
// title, and the caller goes on.
void RunGuarded(const std::function<void()>& action);

// A handler wrapped in RunGuarded.
std::function<void()> Guarded(std::function<void()> handler);
