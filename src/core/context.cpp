#include "core/context.h"

SetupContext g_setup;
