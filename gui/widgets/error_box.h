// The standard error box. A conversion or file error that escapes an event
// handler ends that handler and is shown here; the event loop goes on and
// what the handler wrote before stays.
#pragma once

#include <functional>
#include <string>

// Shows one message. Tests replace it with a recorder.
extern std::function<void(const std::string& message)> show_error_box;

// Runs a handler; an exception it throws is shown in the error box.
void guarded(const std::function<void()>& handler);
