// libFuzzer target (clang only): any bytes as a request and the reply read
// for it, through the pure reply handling and trace formatting. A reply's
// CRC is judged by the reference of frames.h, not by the product's check.
//
//   input: [code selector] [quantity] [count selector] reply bytes ...
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "frames.h"
#include "modbus/Modbus_API.h"
#include "modbus/Modbus_core.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const unsigned char codes[] = {3, 4, 5, 6};
    if (size < 3)
        return 0;
    unsigned char request[8];
    unsigned char code = codes[data[0] % 4];
    int quantity = data[1] % (ciMB_READ_QTY_MAX + 1);
    mf_Tovra_MB_Request__Build(request, data[0] >> 6, code, 0x1101, (short)quantity);
    RefCrcFill(request, 8);
    int expected = mf_Tovra_MB_Reply__Len(request);

    // The reply buffer is exactly as long as the expected reply.
    auto reply = std::make_unique<unsigned char[]>((size_t)expected);
    size_t given = size - 3 < (size_t)expected ? size - 3 : (size_t)expected;
    memset(reply.get(), 0, (size_t)expected);
    memcpy(reply.get(), data + 3, given);
    if (data[2] & 0x80) // let some inputs through the CRC
        RefCrcFill(reply.get(), (size_t)expected);
    int n = (data[2] & 0x40) ? expected : (int)(data[2] & 0x3F) % (expected + 1) - 8;

    constexpr short kGuard = 0x5A5A;
    bool read = code == 3 || code == 4;
    std::vector<short> values((size_t)(read ? quantity : 0) + 4, kGuard);
    int result = mf_Tovra_MB_Reply__Sort(request, expected, reply.get(), n, values.data());
    if (result == 0 && (n != expected || !RefCrcRight(reply.get(), (size_t)expected)))
        __builtin_trap(); // success without a whole reply and a right CRC
    for (size_t i = read ? (size_t)quantity : 0; i < values.size(); ++i)
        if (values[i] != kGuard)
            __builtin_trap(); // a value written past the quantity asked for
    if (result != 0)
        for (short v : values)
            if (v != kGuard)
                __builtin_trap(); // values touched by a failed exchange

    char text[ciMB_DIAG_TEXT];
    if (result == 0)
        mf_Tovra_Trace__Rx(222, reply.get(), expected, text, ciMB_TRACE_TEXT);
    else
        mf_Tovra_MB_Reply__Diag(222, request, reply.get(), n, result, text, sizeof text);
    if (strlen(text) >= sizeof text)
        __builtin_trap();
    return 0;
}
