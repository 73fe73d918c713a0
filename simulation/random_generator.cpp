#include "simulation/random_generator.h"

void seed_random(uint32_t seed) { random_state = seed; }
