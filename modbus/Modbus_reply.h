// Judging a reply: how long it is, whether it answers the request, and the
// log's diagnosis when it does not. Pure functions over bytes.
#pragma once

#include "modbus/Modbus_codes.h"

// Expected reply length of a request: 8 for codes 5 and 6, 5 + 2 x quantity
// for codes 3 and 4; ciMB_ERR_OP for other codes, ciMB_ERR_RANGE for a read
// of more than ciMB_READ_QTY_MAX registers.
int mf_Tovra_MB_Reply__Len(const unsigned char *request);
// How many bytes the reply holds in all, as far as its first n bytes tell:
// while they repeat the request (`length` bytes), one more, since they may be
// its echo; else the frame's own length: 5 for an exception, 5 + the byte
// count for a read, 8 for a write, the request's expected length for
// anything else. Never more than ciMB_RX_BUF; n itself once the frame is in.
int mf_Tovra_MB_Reply__Need(const unsigned char *request, int length, const unsigned char *reply,
                            int n);
// Sorts the n bytes read (n < 0: the port's error) in answer to `request`,
// whose reply should be `expected` bytes long. A reply counts only when it
// matches the request: same slave ID, same function code (or the code + 0x80
// of an exception, whose CRC is checked too), and for a read a byte count of
// 2 x the quantity, for a write (5, 6) the request's address and value. On 0 the register values of a read have been copied to
// `values`; on failure `values` is untouched. `reply` must hold `expected` bytes.
int mf_Tovra_MB_Reply__Sort(const unsigned char *request, int expected,
                            const unsigned char *reply, int n, short *values);
// The log text for a failed reply (result of mf_Tovra_MB_Reply__Sort to
// `request`): the bytes received and a marked line with their meaning;
// empty for 0. Bounded by size.
void mf_Tovra_MB_Reply__Diag(unsigned short port, const unsigned char *request,
                             const unsigned char *reply, int n, int result, char *text, int size);
// The log text for bytes thrown away before a request: their bytes and a
// marked line. `lateMs` >= 0: a reply that came that long after its
// exchange's limit, with `raise` (or nullptr) saying how to give the device
// more time; -1: bytes that no exchange was waiting for. Bounded by size.
void mf_Tovra_MB_Late__Diag(unsigned short port, const unsigned char *bytes, int n, int lateMs,
                            const char *raise, char *text, int size);
