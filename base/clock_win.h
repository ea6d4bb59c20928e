#pragma once
// The program's clocks: monotonic seconds for frames and delays, and the wall
// clock for pauses, time away and dates.

// Monotonic seconds from the performance counter.
double shellClock();
void shellClockInit();

// Wall clock as seconds since 1601 (for pauses and time away).
double wallSeconds();
