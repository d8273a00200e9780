#include "shared/flush_file.h"

bool FlushWrittenFile(HANDLE file)
{
    return FlushFileBuffers(file) != FALSE;
}
