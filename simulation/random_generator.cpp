#include "simulation/random_generator.h"

void seed_random(uint32_t seed) { random_state = seed; }

RandomJump random_jump(uint64_t count) {
  // Squaring the one-step map: a step of 2^k draws is the 2^(k-1) step twice.
  RandomJump result{1, 0};
  RandomJump step{0x0000015A00004E35ULL, 1};
  while (count != 0) {
    if ((count & 1) != 0)
      result = {result.multiplier * step.multiplier, result.increment * step.multiplier + step.increment};
    step = {step.multiplier * step.multiplier, step.increment * step.multiplier + step.increment};
    count >>= 1;
  }
  return result;
}
