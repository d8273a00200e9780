#pragma once

// Fills g_options from the process command line. Always true.
bool ParseCommandLine();
