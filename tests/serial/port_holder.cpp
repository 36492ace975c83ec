// Holds a COM port open, as another program would, until its input ends.
//   port_holder COM8     prints "held" once the port is open
#include <cstdio>

#include "platform/serial.h"

int main(int argc, char **argv)
{
    if (argc != 2)
        return 2;
    int r = OpenCom(1, argv[1]);
    std::printf("%s\n", r == 0 ? "held" : GetRS232ErrorString(r));
    std::fflush(stdout);
    while (std::getchar() != EOF)
        continue;
    CloseCom(1);
    return r == 0 ? 0 : 1;
}
