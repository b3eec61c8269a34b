#pragma once
// Signature bitmaps for the sample handheld.
#include <cstdint>
#include <string>

namespace zilba_sim {

constexpr int kSignatureWidth = 240;
constexpr int kSignatureHeight = 80;

// A complete 24-bit Windows bitmap file (bottom-up rows, no compression) of a pen scribble on
// white; each seed draws a different one.
std::string SignatureBitmap(uint32_t seed);

}  // namespace zilba_sim
