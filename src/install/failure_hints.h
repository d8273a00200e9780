#pragma once

#include "install/product_record.h"

inline const char* FailureHintName(FailureHintKind) { return "installer-busy"; }
