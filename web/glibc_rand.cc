// rand and srand with the sequence of the GNU C library's default generator,
// which the native simulator on Linux draws from: the plug-in's random
// positions and levels then match it draw for draw. The web build's own C
// library has another generator. An additive feedback generator over 31
// words, r[i] = r[i-31] + r[i-3] (mod 2^32), each draw r >> 1, seeded by
// 16807 multiplications modulo 2^31 - 1 and run 310 draws in before the
// first is handed out.
#include <array>
#include <cstdint>
#include <cstdlib>

namespace {

constexpr int kWords = 31;
constexpr int kSeparation = 3;
constexpr int kWarmUp = 10 * kWords;

class AdditiveFeedback {
 public:
  explicit AdditiveFeedback(unsigned seed) { Seed(seed); }

  void Seed(unsigned seed) {
    // The seed as a word; 0 would leave every word 0.
    std::int32_t word = seed == 0 ? 1 : static_cast<std::int32_t>(seed);
    words_[0] = static_cast<std::uint32_t>(word);
    for (int i = 1; i < kWords; ++i) {
      // 16807 * word mod (2^31 - 1), without overflow (Schrage's method).
      const std::int32_t high = word / 127773;
      const std::int32_t low = word % 127773;
      word = 16807 * low - 2836 * high;
      if (word < 0) word += 2147483647;
      words_[static_cast<std::size_t>(i)] = static_cast<std::uint32_t>(word);
    }
    front_ = kSeparation;
    rear_ = 0;
    for (int i = 0; i < kWarmUp; ++i) Next();
  }

  int Next() {
    std::uint32_t& sum = words_[front_];
    sum += words_[rear_];
    const int result = static_cast<int>(sum >> 1);
    front_ = (front_ + 1) % kWords;
    rear_ = (rear_ + 1) % kWords;
    return result;
  }

 private:
  std::array<std::uint32_t, kWords> words_{};
  std::size_t front_ = 0;
  std::size_t rear_ = 0;
};

// Seeded with 1 until srand, as the C standard has it.
AdditiveFeedback generator(1);

}  // namespace

extern "C" {

void srand(unsigned seed) { generator.Seed(seed); }

int rand() { return generator.Next(); }
}
