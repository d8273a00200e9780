#include "payload/patch_slots.h"

std::wstring PatchResourceName(int slot)
{
    return L"IDR_MSP_" + std::to_wstring(slot);
}
