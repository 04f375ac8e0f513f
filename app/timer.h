// The clock the transfer rate is measured with.
#pragma once

// Seconds since local midnight, with fractions, in single precision. It
// restarts at zero at midnight, so a span measured across midnight comes out
// negative. It ticks every few milliseconds.
float Timer();
