#include "render/binomial_rows.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "render/binomial_rows.cpp"
#include <hwy/foreach_target.h>  // before highway.h
#include <hwy/highway.h>

#include <algorithm>

// ---- The chain, a vector of pixels at a time ---------------------------------
//
// l[k] = (t[k] + 2 l[k-1]) >> 4 forgets its start quickly: a difference in
// l[k-1] shrinks eightfold per step (a floor may keep a last unit alive,
// seldom for long). So every pixel of a block is first guessed from the five
// terms up to it, all lanes at once; then the block is checked against the
// true left neighbour: where the recurrence reproduces every guess, the
// guesses are the chain's values (lane by lane, by induction from the true
// neighbour). Where it does not, the block is chained one pixel at a time.
// The guesses never wait for the block before, so the blocks of a row
// overlap in the processor; the guess of each lane's left neighbour is
// worked out the same way from the terms one pixel back, so that no lane
// crosses the vector.
//
// The guesses start five pixels back from t / 14, the recurrence's fixed
// point (the weighted mean of the neighbours the terms hold), raised by
// kStartAbove. The raise matters. In a flat stretch at level v (all nine
// neighbours v, so t = 14 v) both v and v - 1 repeat themselves under the
// floor. The chain holds v there when it enters at v or from above (a
// stretch that reaches the left border, as an overexposed area may, or that
// follows brighter pixels), and the rows below keep it, while a guess from
// below stops at v - 1: every block of the stretch would be chained again
// pixel by pixel, many times the work.
// Only the first row of a stretch entered from below settles at v - 1, where
// a guess from above stops one too high. Off such stretches, a unit too many
// vanishes at the next step unless the sum's remainder is 14 or 15.
HWY_BEFORE_NAMESPACE();
namespace fringe::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

constexpr int kLookBack = 5;
constexpr int kStartAbove = 2;
// t / 14 as (t * kFixedPoint) >> 16, rounded down; at most 255 + kStartAbove.
constexpr int kFixedPoint = 65536 / 14;

using D16 = hn::ScalableTag<uint16_t>;
using V16 = hn::Vec<D16>;

int KnownTerms8Bit(const uint8_t* up, const uint8_t* mid, const uint8_t* down, int w, uint16_t* t) {
  const D16 d;
  const hn::Rebind<uint8_t, D16> d8;
  const int lanes = static_cast<int>(hn::Lanes(d));
  const auto wide = [&](const uint8_t* p) { return hn::PromoteTo(d, hn::LoadU(d8, p)); };
  int k = 1;
  // Loads reach pixel k + lanes, which must stay inside the row (<= w - 1).
  for (; k + lanes <= w - 1; k += lanes) {
    // The corners once, the edge neighbours twice, the pixel itself four times.
    const V16 corners = hn::Add(hn::Add(wide(up + k - 1), wide(up + k + 1)), hn::Add(wide(down + k - 1), wide(down + k + 1)));
    const V16 edges = hn::Add(hn::Add(wide(up + k), wide(down + k)), wide(mid + k + 1));
    const V16 centre = wide(mid + k);
    hn::StoreU(hn::Add(hn::Add(corners, hn::ShiftLeft<1>(edges)), hn::ShiftLeft<2>(centre)), d, t + k);
  }
  return k;
}

// The guesses of the chain at pixels p[0 .. lanes - 1] from the terms before them.
HWY_INLINE V16 guesses(D16 d, const uint16_t* p) {
  V16 guess = hn::Add(hn::MulHigh(hn::LoadU(d, p - kLookBack), hn::Set(d, kFixedPoint)), hn::Set(d, kStartAbove));
  for (int back = kLookBack - 1; back >= 0; --back)
    guess = hn::ShiftRight<4>(hn::Add(hn::LoadU(d, p - back), hn::Add(guess, guess)));
  return guess;
}

void Chain8Bit(const uint16_t* t, uint8_t* middle, int w, unsigned left) {
  const D16 d;
  const hn::Rebind<uint8_t, D16> d8;
  const int lanes = static_cast<int>(hn::Lanes(d));
  // The left neighbours' guesses start from t[k - 1 - kLookBack], which must
  // be a term (index 1 or more).
  int k = std::max(1, std::min(kLookBack + 2, w - 1));
  left = chain_one_by_one(t, middle, 1, k, left);
  const auto first_lane = hn::FirstN(d, 1);
  for (; k + lanes <= w - 1; k += lanes) {
    const V16 guess = guesses(d, t + k);
    const V16 before = hn::IfThenElse(first_lane, hn::Set(d, static_cast<uint16_t>(left)), guesses(d, t + k - 1));
    const V16 next = hn::ShiftRight<4>(hn::Add(hn::LoadU(d, t + k), hn::Add(before, before)));
    if (HWY_LIKELY(hn::AllTrue(d, hn::Eq(next, guess)))) {
      // The checked guesses lie in 0 .. 255: the signed demotion keeps them.
      hn::StoreU(hn::DemoteTo(d8, hn::BitCast(hn::RebindToSigned<D16>(), guess)), d8, middle + k);
      left = middle[k + lanes - 1];
    } else {
      left = chain_one_by_one(t, middle, k, k + lanes, left);
    }
  }
  chain_one_by_one(t, middle, k, w - 1, left);
}

}  // namespace fringe::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace fringe {
HWY_EXPORT(KnownTerms8Bit);
HWY_EXPORT(Chain8Bit);
}  // namespace fringe

int known_terms_8bit(const uint8_t* up, const uint8_t* mid, const uint8_t* down, int w, uint16_t* t) {
  return HWY_DYNAMIC_DISPATCH(fringe::KnownTerms8Bit)(up, mid, down, w, t);
}
void chain_8bit(const uint16_t* t, uint8_t* middle, int w, unsigned left) {
  HWY_DYNAMIC_DISPATCH(fringe::Chain8Bit)(t, middle, w, left);
}
#endif
