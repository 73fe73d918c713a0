// The message a failing call leaves, for tests that compare it word for word.
#pragma once

#include <exception>
#include <string>
#include <utility>

// The message of the `Error` that `action` throws, "" when it throws none.
// An exception of another type passes on, so that the test reports it
// instead of comparing its words.
template <typename Error = std::exception, typename Action>
std::string error_of(Action&& action) {
  try {
    std::forward<Action>(action)();
  } catch (const Error& error) {
    return error.what();
  }
  return "";
}
