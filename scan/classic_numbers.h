// Engine files always carry the point as decimal separator, whatever locale
// the calling program has set: a parameter file or profile written under a
// comma locale would otherwise be read back wrong by every other program.
#pragma once

#include <clocale>
#include <locale.h>

// While it lives, the calling thread formats and scans numbers in the "C"
// locale; the thread's previous locale comes back afterwards.
class ClassicNumbers {
 public:
  ClassicNumbers()
      : classic_(newlocale(LC_NUMERIC_MASK, "C", static_cast<locale_t>(nullptr))),
        previous_(classic_ != nullptr ? uselocale(classic_) : nullptr) {}
  ~ClassicNumbers() {
    if (classic_ == nullptr) return;
    uselocale(previous_);
    freelocale(classic_);
  }
  ClassicNumbers(const ClassicNumbers&) = delete;
  ClassicNumbers& operator=(const ClassicNumbers&) = delete;

 private:
  locale_t classic_;
  locale_t previous_;
};
