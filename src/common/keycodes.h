#pragma once

// The numeric key codes and shift state that the key map works with: each window
// translates its key presses into these at its edge.
namespace VirtualKey {
// F1..F24 are 112..135.
inline constexpr int kF1 = 112;
inline constexpr int kF10 = kF1 + 9;
inline constexpr int kF11 = kF1 + 10;
inline constexpr int kF12 = kF1 + 11;

// Shift state bits.
inline constexpr int kShift = 1;
inline constexpr int kCtrl = 2;
inline constexpr int kAlt = 4;
} // namespace VirtualKey
