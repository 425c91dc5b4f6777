#include "tango/server/BenchServer.h"

int main(int argc, char *argv[])
{
    return runBenchServer(argc, argv);
}
