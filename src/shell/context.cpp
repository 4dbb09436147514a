#include "shell/context.h"

SetupContext g_setup;
