// Inside the Modbus core: bounded text building, and a 16-bit field of a frame.
#pragma once

#include <cstdarg>
#include <cstdio>

// Appends to a caller's buffer; once it is full, further pieces are dropped
// and the text stays terminated.
struct MB_Text {
    char *p;
    int size;
    int len;
};

inline MB_Text mf_MB_Text(char *p, int size)
{
    if (size > 0)
        p[0] = '\0';
    return MB_Text{p, size, 0};
}

__attribute__((format(printf, 2, 3))) inline void mf_MB_Put(MB_Text &t, const char *format, ...)
{
    if (t.len >= t.size - 1)
        return;
    va_list ap;
    va_start(ap, format);
    int n = vsnprintf(t.p + t.len, (size_t)(t.size - t.len), format, ap);
    va_end(ap);
    if (n < 0)
        t.p[t.len] = '\0';
    else
        t.len = (n < t.size - t.len) ? t.len + n : t.size - 1;
}

// A 16-bit field: two frame bytes in wire order, high byte first.
inline int mf_MB_Word(const unsigned char *b)
{
    return b[0] * 256 + b[1];
}
