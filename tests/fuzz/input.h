// The fuzz input read as a stream of small fields; past its end every read
// gives zero, so any input is a complete script.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

// A broken invariant: say which, then stop so the fuzzer keeps the input.
#define FAIL(...)                                                                                                      \
    do {                                                                                                               \
        fprintf(stderr, __VA_ARGS__);                                                                                  \
        fputc('\n', stderr);                                                                                           \
        abort();                                                                                                       \
    } while (0)

struct FuzzInput {
    const uint8_t* data;
    size_t size;
    size_t at;

    bool More() const { return at < size; }
    uint8_t Byte() { return at < size ? data[at++] : 0; }
    uint16_t Word()
    {
        uint16_t low = Byte();
        return (uint16_t)(low | Byte() << 8);
    }
    uint32_t Dword()
    {
        uint32_t low = Word();
        return low | (uint32_t)Word() << 16;
    }
};
