// The program's pseudo-random generator: 32-bit linear congruential.
#pragma once

#include <cstdint>

class RandomGenerator {
public:
    // Sets the state, then drops one draw.
    void Seed(std::uint32_t seed) {
        state_ = seed;
        Draw();
    }
    // A whole number from 0 to 32767: bits 16 to 30 of the new state.
    int Draw() {
        state_ = state_ * 22695477u + 1u;
        return static_cast<int>((state_ >> 16) & 0x7FFFu);
    }
    std::uint32_t State() const { return state_; }

private:
    std::uint32_t state_ = 0;
};
