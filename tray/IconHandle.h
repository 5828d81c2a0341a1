#pragma once
// An icon made by the platform, opaque to the core; nullptr stands for none.
using IconHandle = void*;
