// Replaces the error box by a recorder for the lifetime of the object.
#pragma once

#include <string>
#include <vector>

#include "gui/widgets/error_box.h"

class ErrorRecorder {
 public:
  ErrorRecorder() : previous_(show_error_box) {
    show_error_box = [this](const std::string& message) { messages.push_back(message); };
  }
  ~ErrorRecorder() { show_error_box = previous_; }
  ErrorRecorder(const ErrorRecorder&) = delete;
  ErrorRecorder& operator=(const ErrorRecorder&) = delete;

  std::vector<std::string> messages;

 private:
  std::function<void(const std::string&)> previous_;
};
