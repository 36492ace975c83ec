// Results of a Modbus exchange and the limits of its frames.
#pragma once

// Results of an exchange (besides 0 and the negative codes of the serial port).
constexpr int ciMB_ERR_OP = -2001;      // function code not handled; nothing sent
constexpr int ciMB_ERR_TIMEOUT = -2002; // not one reply byte arrived
constexpr int ciMB_ERR_LENGTH = -2003;  // some bytes, neither the expected number nor a whole frame
constexpr int ciMB_ERR_CRC = -2004;     // reply CRC wrong
constexpr int ciMB_ERR_RANGE = -2005;   // frame length or read quantity beyond one exchange; nothing sent
constexpr int ciMB_ERR_WRITE = -2006;   // the port took only part of the request
// A whole reply (right CRC over the bytes that came) that does not answer
// this request: it is never taken for the device's answer.
constexpr int ciMB_ERR_SLAVE = -2007;    // from another slave ID
constexpr int ciMB_ERR_FUNCTION = -2008; // with another function code
constexpr int ciMB_ERR_COUNT = -2009;    // a read reply whose byte count is not 2 x the quantity
constexpr int ciMB_ERR_ACK = -2010;      // a write's acknowledgement of another address or value
constexpr int ciMB_ERR_ECHO = -2020;    // the bytes back begin with the request itself: the adapter echoes
// An exception reply yields this minus its exception code: -3001 .. -3003 for
// the codes the device uses, and just as negative for any other code (4 -> -3004).
constexpr int ciMB_ERR_EXCEPTION = -3000;

constexpr int ciMB_FRAME_MIN = 8;       // the request layout of the handled codes
constexpr int ciMB_FRAME_MAX = 257;     // the CRC covers at most 255 bytes
constexpr int ciMB_READ_QTY_MAX = 125;  // keeps a read reply within 255 bytes
constexpr int ciMB_RX_BUF = 512;
constexpr int ciMB_TRACE_TEXT = 1024;   // holds the longest trace line of a 257-byte frame
constexpr int ciMB_DIAG_TEXT = 2048;    // holds the diagnosis of a 255-byte wrong-length reply
