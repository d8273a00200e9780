#pragma once

#include "kit_context_win.h"
#include "kit_job_win.h"

// The kit's checks of what only Windows shows, for kWrapperCases.
Findings PlantedDlls(const Kit& kit, CaseJob& job);
Findings PlantedCheckCatchesBareLoad(const Kit& kit, CaseJob& job);
Findings CopyDescriptor(const Kit& kit, CaseJob& job);
Findings CopyCheckCatchesDefaultDescriptor(const Kit& kit, CaseJob& job);
Findings Links(const Kit& kit, CaseJob& job);
Findings SystemRun(const Kit& kit, CaseJob& job);
Findings BusyInstaller(const Kit& kit, CaseJob& job);
Findings BusyInstallation(const Kit& kit, CaseJob& job);
Findings BoxTexts(const Kit& kit, CaseJob& job);
Findings ReceiptShare(const Kit& kit, CaseJob& job);
Findings RunEvent(const Kit& kit, CaseJob& job);

// The SID of the user the kit runs as, as SDDL writes it in a descriptor.
std::wstring UserInSddl();
