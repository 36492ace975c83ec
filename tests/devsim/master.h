// A libmodbus master on the simulator's COM link, for the simulator's tests.
#pragma once

#include <cerrno>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <modbus.h>
#include <poll.h>
#include <unistd.h>

#include "devsim.h"

struct MasterDeleter {
    void operator()(modbus_t *ctx) const
    {
        modbus_close(ctx);
        modbus_free(ctx);
    }
};
using Master = std::unique_ptr<modbus_t, MasterDeleter>;

struct Line {
    long baud;
    char parity; // N O E M S
    int stop;
};

// A master on the simulator's COM link, 9600 8N1 unless told; a short reply
// time limit keeps the time-out cases quick.
inline Master Connect(const DevSim &sim, int slave = 1, int timeoutMs = 200,
                      Line line = {9600, 'N', 1})
{
    std::string path = DevSim::portsDir() + "/" + sim.comName();
    Master m(modbus_new_rtu(path.c_str(), int(line.baud), line.parity, 8, line.stop));
    if (!m || modbus_connect(m.get()) != 0)
        ADD_FAILURE() << "cannot open " << path << ": " << modbus_strerror(errno);
    modbus_set_slave(m.get(), slave);
    modbus_set_response_timeout(m.get(), 0, uint32_t(timeoutMs) * 1000);
    modbus_set_byte_timeout(m.get(), 0, 50000);
    return m;
}

// Sends a request (libmodbus adds the CRC) and returns every byte that
// arrives until the line has been quiet for 150 ms.
inline std::vector<uint8_t> RawExchange(modbus_t *m, std::vector<uint8_t> request)
{
    modbus_send_raw_request(m, request.data(), int(request.size()));
    std::vector<uint8_t> got;
    pollfd p{modbus_get_socket(m), POLLIN, 0};
    uint8_t buf[256];
    while (poll(&p, 1, 150) > 0) {
        ssize_t n = read(p.fd, buf, sizeof buf);
        if (n <= 0)
            break;
        got.insert(got.end(), buf, buf + n);
    }
    return got;
}

// Reads `count` registers; returns the values, or {-errno} on failure.
inline std::vector<int> Read(modbus_t *m, int address, int count, int function = 3)
{
    uint16_t v[8];
    int rc = function == 3 ? modbus_read_registers(m, address, count, v)
                           : modbus_read_input_registers(m, address, count, v);
    if (rc < 0)
        return {-errno};
    return std::vector<int>(v, v + rc);
}

inline int Write(modbus_t *m, int address, int value)
{
    return modbus_write_register(m, address, uint16_t(value)) == 1 ? 0 : -errno;
}

inline int StoreEeprom(modbus_t *m) { return modbus_write_bit(m, 0, 1) == 1 ? 0 : -errno; }
