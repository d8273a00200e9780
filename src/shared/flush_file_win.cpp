#include "shared/flush_file_win.h"

bool FlushWrittenFile(HANDLE file)
{
    return FlushFileBuffers(file) != FALSE;
}
