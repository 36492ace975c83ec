// Time on the wire: what a line's speed and format make of a frame. Pure
// arithmetic; every limit and every quiet time of the exchanges and of Find
// comes from here.
#pragma once

// The line's speed and character format.
struct MB_Line {
    long baud;
    int dataBits;
    int parity; // 0 none, else one parity bit
    int stopBits;
};

// Bits of one character: 1 start + data + parity + stop.
int mf_Tovra_Wire__Bits(const MB_Line *line);
// One character's time on the wire (s).
double mf_Tovra_Wire__Char(const MB_Line *line);
// `bytes` characters back to back (s).
double mf_Tovra_Wire__Frame(const MB_Line *line, int bytes);
// The silence that ends a frame and must come before a request: 3.5
// characters, and at least 1.75 ms above 19200 baud, where 3.5 characters
// would be shorter than a UART and its driver can tell apart.
double mf_Tovra_Wire__Quiet(const MB_Line *line);
// The time an exchange may take after its request is handed to the port:
// the request's wire time, the device's turnaround allowance, and the wire
// time of the longest valid reply.
double mf_Tovra_Wire__Limit(const MB_Line *line, int requestBytes, double turnaround,
                            int replyBytes);
