#pragma once

// Fills Options from the process command line. Always true.
bool ParseCommandLine();
