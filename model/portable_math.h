#pragma once
// exp and pow that give the same bits on every machine and build: computed
// with the basic operations of IEEE double arithmetic alone (+, -, *, /, no
// fused multiply-add, no library function, no wider type), carried in
// double-double precision and rounded once at the end. The result is the
// correctly rounded one except where the exact value lies within about
// 2^-95 of its size from a rounding boundary, which no argument the engine
// meets is known to do; either way it is the same on every machine.

namespace impactsim {

// e^x for x <= 0 (-infinity included): 0 where e^x is below half the least
// subnormal, subnormal results rounded as such, 1 for x = 0 or -0.
// Throws std::domain_error for x > 0 or NaN.
double PortableExp(double x);

// x^y for a finite x > 0 (subnormals included) and a finite y >= 0: +infinity
// past the greatest double, 0 below the least subnormal, 1 for y = 0, exact
// where x^y is a double. Throws std::domain_error outside that domain.
double PortablePow(double x, double y);

}  // namespace impactsim
