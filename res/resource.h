#pragma once

#define IDI_WRAPPER 319
