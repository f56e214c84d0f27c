#pragma once

// ZEPH_TARGET_BEGIN ("avx") ... ZEPH_TARGET_END: the functions between them
// are compiled for that instruction set, with GCC and with clang; callers
// take them only where the processor has it.
#define ZEPH_PRAGMA(text) _Pragma (#text)
#if defined(__clang__)
 #define ZEPH_TARGET_BEGIN(isa) ZEPH_PRAGMA (clang attribute push (__attribute__ ((target (isa))), apply_to = function))
 #define ZEPH_TARGET_END ZEPH_PRAGMA (clang attribute pop)
#else
 #define ZEPH_TARGET_BEGIN(isa) ZEPH_PRAGMA (GCC push_options) ZEPH_PRAGMA (GCC target (isa))
 #define ZEPH_TARGET_END ZEPH_PRAGMA (GCC pop_options)
#endif
