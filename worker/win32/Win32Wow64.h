#pragma once
// Whether this program runs under WOW64. A 32-bit program there receives system records that WOW64
// has rewritten from the 64-bit kernel's (sizes above 4 GB cut to 32 bits), or, for some classes,
// records whose width is not documented at all: the worker then uses none of them.
bool RunsUnderWow64();
