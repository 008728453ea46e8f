// Skarvo: a soaring-weather companion beside the flight simulator.
// Command-line arguments are ignored; the exit code is always 0.
#include "driver/session.h"

int main() { return run_program(); }
