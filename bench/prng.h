#pragma once

#include <cstddef>
#include <cstdint>

// A fixed pseudo-random sequence (SplitMix64). The generated volume must be the same with every compiler and
// standard library, which the std:: distributions do not promise, so every draw goes through integer
// arithmetic defined here.
class Prng {
  public:
    explicit Prng(uint64_t seed) : state_(seed) {}

    uint64_t next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

    // Uniform in [0, n) for n > 0: draws below 2^64 mod n would favour the low values, so they are redrawn.
    uint64_t below(uint64_t n) {
        const uint64_t threshold = (0 - n) % n;
        for (;;) {
            const uint64_t r = next();
            if (r >= threshold)
                return r % n;
        }
    }

    // True with probability per_mille / 1000.
    bool chance(unsigned per_mille) { return below(1000) < per_mille; }

    template <class T, size_t N> const T& pick(const T (&items)[N]) { return items[below(N)]; }

  private:
    uint64_t state_;
};
