#include "server/startup.h"

int main(int argc, char** argv) { return run_bridge(argc, argv); }
