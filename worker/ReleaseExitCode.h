#pragma once
// How a release worker ended. Nothing in the product reads these; they let tests tell the runs
// apart.
#include <cstdint>

enum class ReleaseExitCode : uint32_t {
  Reached = 0,        // available memory rose by the amount asked for
  Partial = 1,        // the worker did what it could within its deadline, short of the amount
  NothingToDo = 2,    // junk, missing, 0 or negative argument: ended at once, nothing touched
  GaveUpWaiting = 3,  // another worker held the turn for longer than this one would wait
  HandedOn = 4,       // another worker already waited: it takes this one's megabytes on
  CoolingDown = 5,    // no other worker, and the last run ended moments ago: ended at once
  NoTurn = 6,         // the turn could not be joined (see ReleaseTurnPort): ended at once
  WrongBitness = 7,   // a 32-bit worker under WOW64: ended at once, nothing touched or written
};
