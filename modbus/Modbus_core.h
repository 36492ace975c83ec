// Modbus RTU master core: the CRC, the frame trace, reply judging, results in
// words, and the one exchange that every request goes through. Each concern
// has its own file; this header gathers them.
#pragma once

#include "modbus/Modbus_codes.h"
#include "modbus/Modbus_crc.h"
#include "modbus/Modbus_exchange.h"
#include "modbus/Modbus_reply.h"
#include "modbus/Modbus_trace.h"
#include "modbus/Modbus_words.h"
