#pragma once

// Marks a printf-style function so the compiler checks its arguments. mingw-w64's
// libstdc++ builds use the C99-conforming printf family, so the GNU rules apply
// there too (%zu, %lld, …) rather than the Microsoft ones.
#if defined(__MINGW32__)
#define QV_PRINTF(fmt, args) __attribute__((format(gnu_printf, fmt, args)))
#else
#define QV_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#endif
