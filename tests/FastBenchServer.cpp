// NorvaneBench whose links count time ten times as fast, for the tests that wait for its
// reconnections; the shipped server has no such setting.
#include "tango/server/BenchServer.h"

int main(int argc, char *argv[])
{
    return runBenchServer(argc, argv, 10);
}
