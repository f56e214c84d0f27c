#pragma once

// Turns what a tracker sent as its orientation (row-major, nine floats) into a
// rotation matrix. A matrix that already is one, within the tolerance of the
// tracker's 14-bit values, is taken unchanged. A scaled or skewed one (an
// unnormalised quaternion, say) is straightened: its first row normalised, its
// second made orthogonal to the first, its third their cross product. Returns
// false, leaving out untouched, for what no rotation is near: non-finite values,
// a row of (almost) nothing, rows that (almost) coincide, or a mirror image.
bool toRotation (const float* m, float* out) noexcept;
