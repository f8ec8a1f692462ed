// The refusal a route sends when no phone could be chosen.
#pragma once
#include "tools/phone_choice.h"

// The fixed reply body for a choice other than `chosen`: the no-phone body
// names the tool's mode, and stands for a tool that could not be started
// too (the flashing routes, which fetch fastboot, say more).
const char* phone_choice_body(ToolKind kind, PhoneChoice choice);
