// What a long run (the simulation behind "apply", the profile comparison
// behind "profile") reports while it works: its status steps and the
// position of the progress bar (0..100). The window shows them in its status
// group, the command-line tool prints them.
#pragma once

#include <string>

class RunObserver {
 public:
  virtual ~RunObserver() = default;
  // A status step; the texts carry trailing blanks that belong to them.
  virtual void status(const std::string& text) = 0;
  virtual void progress(int position) = 0;
  // A picture the run writes has changed and may be shown now.
  virtual void picture_changed() {}
};

// Reports nothing.
class SilentObserver final : public RunObserver {
 public:
  void status(const std::string&) override {}
  void progress(int) override {}
};
